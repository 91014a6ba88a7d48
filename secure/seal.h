#pragma once
// Byte strings to sealed hex text and back with a given Blowfish cipher: CBC with a
// random initial vector for chat lines and the token, ECB for the transport key.
//
// Sealed CBC text: 16 hex digits of vector, then 16 per block; plain texts are padded
// with p = 8 - (k mod 8) bytes of value p.

#include <optional>
#include <string>
#include <string_view>

#include "secure/blowfish.h"

namespace velmora {

inline constexpr std::size_t kBlockSize = 8;

// Eight bytes from the CSPRNG, fresh for every seal.
std::string make_iv();

// One block (zero-padded to 8 bytes) to 16 hex digits, and 16 hex digits to one block.
std::string encrypt_block_hex(const BlowfishCipher& cipher, std::string_view block);
std::string decrypt_block_hex(const BlowfishCipher& cipher, std::string_view text);

std::string seal_cbc(const BlowfishCipher& cipher, std::string_view plain);
// The same with a given 8-byte initial vector (known answers, the token).
std::string seal_cbc_with_iv(const BlowfishCipher& cipher, std::string_view plain,
                             std::string_view iv);
// Any text is safe to open; bytes of no meaning come out under a wrong key, and the
// result is never longer than the text.
std::string open_cbc(const BlowfishCipher& cipher, std::string_view sealed);
// The same, but nothing when the text is too short or its padding does not check out:
// sealed under another key (all but about one text in 256) or made up.
std::optional<std::string> open_cbc_checked(const BlowfishCipher& cipher, std::string_view sealed);
std::string seal_ecb(const BlowfishCipher& cipher, std::string_view plain);
// The same blocks as bytes, for keys made from them.
std::string seal_ecb_bytes(const BlowfishCipher& cipher, std::string_view plain);

// The length of seal_cbc's result for a plain text of `plain_size` bytes.
constexpr std::size_t sealed_cbc_size(std::size_t plain_size) {
  return 16 + 16 * (plain_size / kBlockSize + 1);
}

}  // namespace velmora
