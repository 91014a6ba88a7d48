#include "secure/seal.h"

#include <array>
#include <cstdint>

#include "secure/byte_order.h"
#include "secure/hex.h"
#include "secure/random_source.h"

namespace velmora {

namespace {

// Blocks are worked on as bytes; hex is made once for the whole sealed text and read
// once when opening it.
using Block = std::array<unsigned char, kBlockSize>;

Block block_at(std::string_view bytes, std::size_t at) {
  Block block{};
  for (std::size_t i = 0; i < kBlockSize && at + i < bytes.size(); ++i) {
    block[i] = static_cast<unsigned char>(bytes[at + i]);
  }
  return block;
}

// One Blowfish step (encrypt_block or decrypt_block) over a block in place.
using CipherStep = void (BlowfishCipher::*)(std::uint32_t&, std::uint32_t&) const;

void apply(const BlowfishCipher& cipher, CipherStep step, Block& block) {
  std::uint32_t left = load32_be(block.data());
  std::uint32_t right = load32_be(block.data() + 4);
  (cipher.*step)(left, right);
  store32_be(block.data(), left);
  store32_be(block.data() + 4, right);
}

void encrypt(const BlowfishCipher& cipher, Block& block) {
  apply(cipher, &BlowfishCipher::encrypt_block, block);
}

void decrypt(const BlowfishCipher& cipher, Block& block) {
  apply(cipher, &BlowfishCipher::decrypt_block, block);
}

void append(std::string& out, const Block& block) {
  out.append(reinterpret_cast<const char*>(block.data()), block.size());
}

std::string pad(std::string_view plain) {
  const std::size_t padding = kBlockSize - plain.size() % kBlockSize;
  std::string padded(plain);
  padded.append(padding, static_cast<char>(padding));
  return padded;
}

// Every padding byte is checked, not only the last: a text sealed under another key
// (or made up) then opens to nothing instead of to bytes of no meaning, except when
// its last bytes happen to look like padding (one text in about 255: a last byte of 1).
std::optional<std::string> unpad(std::string plain) {
  if (plain.empty()) return std::nullopt;
  const auto padding = static_cast<unsigned char>(plain.back());
  if (padding == 0 || padding > kBlockSize || padding > plain.size()) return std::nullopt;
  for (std::size_t i = plain.size() - padding; i < plain.size(); ++i) {
    if (static_cast<unsigned char>(plain[i]) != padding) return std::nullopt;
  }
  plain.resize(plain.size() - padding);
  return plain;
}

}  // namespace

std::string make_iv() { return random_bytes(kBlockSize); }

std::string encrypt_block_hex(const BlowfishCipher& cipher, std::string_view block) {
  Block bytes = block_at(block, 0);
  encrypt(cipher, bytes);
  std::string out;
  append(out, bytes);
  return hex_encode(out);
}

std::string decrypt_block_hex(const BlowfishCipher& cipher, std::string_view text) {
  Block bytes = block_at(hex_decode(text.substr(0, 2 * kBlockSize)), 0);
  decrypt(cipher, bytes);
  std::string out;
  append(out, bytes);
  return out;
}

std::string seal_cbc(const BlowfishCipher& cipher, std::string_view plain) {
  return seal_cbc_with_iv(cipher, plain, make_iv());
}

std::string seal_cbc_with_iv(const BlowfishCipher& cipher, std::string_view plain,
                             std::string_view iv) {
  const std::string padded = pad(plain);
  Block chain = block_at(iv, 0);
  std::string sealed;
  sealed.reserve(kBlockSize + padded.size());
  append(sealed, chain);
  for (std::size_t at = 0; at < padded.size(); at += kBlockSize) {
    const Block block = block_at(padded, at);
    for (std::size_t i = 0; i < kBlockSize; ++i) chain[i] ^= block[i];
    encrypt(cipher, chain);
    append(sealed, chain);
  }
  return hex_encode(sealed);
}

std::string open_cbc(const BlowfishCipher& cipher, std::string_view sealed) {
  return open_cbc_checked(cipher, sealed).value_or(std::string());
}

std::optional<std::string> open_cbc_checked(const BlowfishCipher& cipher, std::string_view sealed) {
  constexpr std::size_t kGroupDigits = 2 * kBlockSize;
  if (sealed.size() < 2 * kGroupDigits) return std::nullopt;
  // A trailing group shorter than a block is ignored, as it always was.
  const std::size_t groups = sealed.size() / kGroupDigits;
  const std::string bytes = hex_decode(sealed.substr(0, groups * kGroupDigits));
  Block chain = block_at(bytes, 0);
  std::string plain;
  plain.reserve(bytes.size() - kBlockSize);
  for (std::size_t at = kBlockSize; at < bytes.size(); at += kBlockSize) {
    const Block cipher_block = block_at(bytes, at);
    Block block = cipher_block;
    decrypt(cipher, block);
    for (std::size_t i = 0; i < kBlockSize; ++i) block[i] ^= chain[i];
    append(plain, block);
    chain = cipher_block;
  }
  return unpad(std::move(plain));
}

std::string seal_ecb_bytes(const BlowfishCipher& cipher, std::string_view plain) {
  const std::string padded = pad(plain);
  std::string sealed;
  sealed.reserve(padded.size());
  for (std::size_t at = 0; at < padded.size(); at += kBlockSize) {
    Block block = block_at(padded, at);
    encrypt(cipher, block);
    append(sealed, block);
  }
  return sealed;
}

std::string seal_ecb(const BlowfishCipher& cipher, std::string_view plain) {
  return hex_encode(seal_ecb_bytes(cipher, plain));
}

}  // namespace velmora
