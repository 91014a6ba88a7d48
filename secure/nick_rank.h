#pragma once
// Orders that every client computes alike from nicks alone, so that clients agree on
// who goes first without saying a word: who makes a key when nobody holds one, and
// which holders welcome a joiner (rendezvous hashing). A nick chosen to rank first
// only delays others a little; it can never make them adopt anything.

#include <cstdint>
#include <string_view>

namespace velmora {

// FNV-1a over the bytes, then a final mix, so that nicks that differ in one letter
// land far apart.
constexpr std::uint64_t nick_hash(std::string_view text, std::uint64_t seed = 0) {
  std::uint64_t h = 0xCBF29CE484222325ull ^ seed;
  for (const char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001B3ull;
  }
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return h;
}

// How strongly `holder` is placed to serve `joiner`: the holders with the highest
// scores for a joiner welcome it.
constexpr std::uint64_t rendezvous_score(std::string_view holder, std::string_view joiner) {
  return nick_hash(joiner, nick_hash(holder));
}

}  // namespace velmora
