#include "secure/token.h"

#include "secure/random_source.h"
#include "secure/seal.h"
#include "secure/sha1.h"

namespace velmora {

namespace {
constexpr std::size_t kTokenPositions = 16;
}

BlowfishCipher passphrase_cipher(std::string_view passphrase) {
  BlowfishCipher cipher;
  cipher.set_key(sha1_hex(passphrase));
  return cipher;
}

std::string make_token(const BlowfishCipher& passphrase_key, std::string_view filler,
                       std::size_t position, std::string_view iv) {
  std::string plain(filler.substr(0, kTokenFillerSize));
  plain.resize(kTokenFillerSize, 'A');
  plain.replace(position % kTokenPositions, kTokenMark.size(), kTokenMark);
  return seal_cbc_with_iv(passphrase_key, plain, iv);
}

std::string make_random_token(const BlowfishCipher& passphrase_key) {
  return make_token(passphrase_key, random_string(), random_below(kTokenPositions), make_iv());
}

bool token_accepted(const BlowfishCipher& passphrase_key, std::string_view token) {
  return open_cbc(passphrase_key, token).find(kTokenMark) != std::string::npos;
}

}  // namespace velmora
