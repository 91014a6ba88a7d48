// Sequences of set and get against a std::map: get returns exactly the last value set
// for that nick, and other nicks never change.
//
// Input: records of [op byte][nick length byte][nick bytes][value byte].

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "secure/peer_key_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmora::PeerKeyTable table;
  std::map<std::string, int> model;
  std::size_t at = 0;
  while (at + 2 <= size) {
    const std::uint8_t op = data[at++];
    const std::size_t length = data[at++] % 8;  // short nicks collide more often
    if (at + length > size) break;
    const std::string nick(reinterpret_cast<const char*>(data + at), length);
    at += length;
    if (op & 1) {
      const int value = at < size ? data[at++] % 3 : 1;
      table.set(nick, value);
      model[nick] = value;
    }
    auto found = model.find(nick);
    if (table.get(nick) != (found == model.end() ? 0 : found->second)) std::abort();
  }
  for (const auto& [nick, value] : model) {
    if (table.get(nick) != value) std::abort();
  }
  return 0;
}
