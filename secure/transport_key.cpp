#include "secure/transport_key.h"

#include <algorithm>

#include "secure/seal.h"
#include "secure/sha1.h"

namespace velmora {

namespace {

constexpr std::size_t kMaxMaterialWords = 14;

// length / 12 rounded half to even, without floating point.
std::size_t material_words(std::size_t length) {
  std::size_t whole = length / 12;
  std::size_t rest = length % 12;
  if (rest > 6 || (rest == 6 && whole % 2 == 1)) ++whole;
  return std::min(whole, kMaxMaterialWords);
}

// The decimal value of up to three characters; a non-digit counts as 0 so that a
// malformed secret cannot push a byte out of its 1..255 range.
unsigned group_value(std::string_view group) {
  unsigned value = 0;
  for (char c : group) value = value * 10 + ((c >= '0' && c <= '9') ? unsigned(c - '0') : 0u);
  return value;
}

}  // namespace

std::string transport_key_material(std::string_view shared_secret) {
  const std::size_t count = 4 * material_words(shared_secret.size());
  std::string material;
  material.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t at = std::min(3 * i, shared_secret.size());
    unsigned g = group_value(shared_secret.substr(at, 3));
    material.push_back(static_cast<char>(g * 255 / 1000 + 1));
  }
  return material;
}

std::string derive_transport_key(std::string_view shared_secret, std::string_view passphrase,
                                 BlowfishCipher& cipher) {
  cipher.set_key(sha1_hex(passphrase));
  return derive_transport_key(shared_secret, BlowfishCipher(cipher), cipher);
}

std::string derive_transport_key(std::string_view shared_secret,
                                 const BlowfishCipher& passphrase_key, BlowfishCipher& cipher) {
  std::string key = seal_ecb_bytes(passphrase_key, transport_key_material(shared_secret));
  cipher.set_key(key);
  return key;
}

}  // namespace velmora
