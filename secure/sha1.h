#pragma once
// SHA-1 (FIPS 180-1), organised as RFC 3174's reference code: a context, Reset, Input
// and Result, each returning a status.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

enum Sha1Status : int {
  sha1_success = 0,
  sha1_null = 1,          // null argument, or the bit length overflowed 64 bits
  sha1_state_error = 3,   // input after the digest was computed
};

inline constexpr std::size_t kSha1HashSize = 20;

struct Sha1Context {
  std::array<std::uint32_t, 5> intermediate_hash{};
  std::uint32_t length_low = 0;
  std::uint32_t length_high = 0;
  std::int16_t block_index = 0;
  std::array<std::uint8_t, 64> block{};
  std::int16_t computed = 0;
  std::int16_t corrupted = 0;
};

int SHA1Reset(Sha1Context* context);
int SHA1Input(Sha1Context* context, const std::uint8_t* bytes, std::size_t length);
int SHA1Result(Sha1Context* context, std::uint8_t digest[kSha1HashSize]);

// The digest of `text` up to its first zero byte as 40 upper-case hex digits; the
// passphrase key is made from it.
std::string sha1_hex(std::string_view text);

}  // namespace velmora
