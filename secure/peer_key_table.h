#pragma once
// Who holds the channel key, per nick: 1 holds it, 0 does not (0 also for nicks never
// stored). Nicks compare byte for byte. Thread-safe: the receive thread and the window
// thread both read and write it.

#include <cstdint>
#include <functional>
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

  // How many nicks hold a non-zero value.
  std::size_t size() const;
  // Drops the oldest entries for which `keep` is false until at most `max_entries`
  // remain (or only kept ones do).
  void trim(std::size_t max_entries, const std::function<bool(std::string_view)>& keep);

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
