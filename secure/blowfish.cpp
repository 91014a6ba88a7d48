#include "secure/blowfish.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "secure/blowfish_constants.h"

namespace velmora {

namespace {

constexpr std::size_t kMaxKeyWords = 14;

// Whole big-endian words of the key, the last one padded with zero bytes on its right.
std::vector<std::uint32_t> key_words(std::string_view key) {
  std::size_t count = std::min((key.size() + 3) / 4, kMaxKeyWords);
  std::vector<std::uint32_t> words(count, 0);
  for (std::size_t i = 0; i < count * 4 && i < key.size(); ++i) {
    auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(key[i]));
    words[i / 4] |= byte << (24 - 8 * (i % 4));
  }
  return words;
}

}  // namespace

// The empty key's schedule is computed once; every new cipher starts as a copy of it,
// which is far cheaper than 521 block encryptions.
BlowfishCipher::BlowfishCipher(std::nullptr_t) { schedule({}); }

BlowfishCipher::BlowfishCipher() {
  static const BlowfishCipher empty_key_cipher(nullptr);
  *this = empty_key_cipher;
}

void BlowfishCipher::set_key(std::string_view key) { schedule(key); }

void BlowfishCipher::schedule(std::string_view key) {
  std::copy_n(kBlowfishConstants.begin(), p_.size(), p_.begin());
  for (std::size_t box = 0; box < s_.size(); ++box) {
    std::copy_n(kBlowfishConstants.begin() + p_.size() + 256 * box, 256, s_[box].begin());
  }
  std::vector<std::uint32_t> words = key_words(key);
  if (!words.empty()) {
    for (std::size_t i = 0; i < p_.size(); ++i) p_[i] ^= words[i % words.size()];
  }
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < p_.size(); i += 2) {
    encrypt_block(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (std::size_t i = 0; i < box.size(); i += 2) {
      encrypt_block(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

std::uint32_t BlowfishCipher::round_function(std::uint32_t x) const {
  return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) +
         s_[3][x & 0xFF];
}

void BlowfishCipher::encrypt_block(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (std::size_t i = 0; i < 16; ++i) {
    l ^= p_[i];
    r ^= round_function(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  right = r ^ p_[16];
  left = l ^ p_[17];
}

void BlowfishCipher::decrypt_block(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (std::size_t i = 17; i > 1; --i) {
    l ^= p_[i];
    r ^= round_function(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  right = r ^ p_[1];
  left = l ^ p_[0];
}

}  // namespace velmora
