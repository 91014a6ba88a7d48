#pragma once
// The joiner's proof that it knows the passphrase: 23 characters with "@AUTH" written
// at a random position 0..15, sealed under the passphrase key (64 hex digits).

#include <string>
#include <string_view>

#include "secure/blowfish.h"

namespace velmora {

inline constexpr std::size_t kTokenFillerSize = 23;
inline constexpr std::string_view kTokenMark = "@AUTH";

// The passphrase key: the passphrase's SHA-1 digest in hex, loaded into a cipher.
BlowfishCipher passphrase_cipher(std::string_view passphrase);

// The token made from given parts: the filler (cut or padded to 23 characters), the
// position of "@AUTH" (0..15) and the 8-byte initial vector.
std::string make_token(const BlowfishCipher& passphrase_key, std::string_view filler,
                       std::size_t position, std::string_view iv);
// A token with random filler, position and vector.
std::string make_random_token(const BlowfishCipher& passphrase_key);

// True when the token opens to a text holding "@AUTH".
bool token_accepted(const BlowfishCipher& passphrase_key, std::string_view token);

}  // namespace velmora
