#pragma once
// Who holds the channel key, per nick: 1 holds it, 0 does not (0 also for nicks never
// stored). Nicks compare byte for byte. Thread-safe: the receive thread and the window
// thread both read and write it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velmora {

// The table's hash of a text (bytes unsigned, arithmetic modulo 2^32).
std::uint32_t peer_hash(std::string_view text);

class PeerKeyTable {
public:
  PeerKeyTable();
  ~PeerKeyTable();
  PeerKeyTable(const PeerKeyTable&) = delete;
  PeerKeyTable& operator=(const PeerKeyTable&) = delete;

  int get(std::string_view nick) const;
  void set(std::string_view nick, int value);

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
