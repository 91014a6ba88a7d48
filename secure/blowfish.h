#pragma once
// The Blowfish block cipher with this program's own key schedule: the key is read as
// whole big-endian words (the last one zero-padded) that are cycled over the P-array,
// and only the first 56 bytes count. For keys whose length is a multiple of 4 and at
// most 56 bytes this is the published schedule. A value type: every user keys its own.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora {

class BlowfishCipher {
public:
  // Starts with the schedule of the empty key (the constants, no key words mixed in).
  BlowfishCipher();

  void set_key(std::string_view key);
  void encrypt_block(std::uint32_t& left, std::uint32_t& right) const;
  void decrypt_block(std::uint32_t& left, std::uint32_t& right) const;

private:
  explicit BlowfishCipher(std::nullptr_t);  // schedules the empty key itself
  void schedule(std::string_view key);
  std::uint32_t round_function(std::uint32_t x) const;

  std::array<std::uint32_t, 18> p_;
  std::array<std::array<std::uint32_t, 256>, 4> s_;
};

}  // namespace velmora
