#include "secure/seal.h"

#include <cstdint>

#include "secure/hex.h"
#include "secure/random_source.h"

namespace velmora {

namespace {

std::uint32_t load32_be(std::string_view bytes) {
  std::uint32_t value = 0;
  for (unsigned char byte : bytes.substr(0, 4)) value = (value << 8) | byte;
  return value;
}

void store32_be(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

// An unsigned 32-bit number from up to eight hex digits; non-hex digits count as 0.
std::uint32_t parse_hex32(std::string_view text) {
  std::string bytes = hex_decode(text.substr(0, 8));
  bytes.resize(4, '\0');
  return load32_be(bytes);
}

std::string pad(std::string_view plain) {
  const std::size_t padding = kBlockSize - plain.size() % kBlockSize;
  std::string padded(plain);
  padded.append(padding, static_cast<char>(padding));
  return padded;
}

std::string xor_block(std::string_view a, std::string_view b) {
  std::string out(kBlockSize, '\0');
  for (std::size_t i = 0; i < kBlockSize; ++i) {
    char left = i < a.size() ? a[i] : '\0';
    char right = i < b.size() ? b[i] : '\0';
    out[i] = static_cast<char>(left ^ right);
  }
  return out;
}

// Every padding byte is checked, not only the last: a text sealed under another key
// (or made up) then opens to nothing instead of to bytes of no meaning, except about
// once in 2^64 for a full block of padding.
std::string unpad(std::string plain) {
  if (plain.empty()) return plain;
  const auto padding = static_cast<unsigned char>(plain.back());
  if (padding == 0 || padding > kBlockSize || padding >= plain.size()) return {};
  for (std::size_t i = plain.size() - padding; i < plain.size(); ++i) {
    if (static_cast<unsigned char>(plain[i]) != padding) return {};
  }
  plain.resize(plain.size() - padding);
  return plain;
}

}  // namespace

std::string make_iv() {
  std::string iv = random_bytes(kBlockSize);
  iv.resize(kBlockSize, '\0');
  return iv;
}

std::string encrypt_block_hex(const BlowfishCipher& cipher, std::string_view block) {
  std::string bytes(block.substr(0, kBlockSize));
  bytes.resize(kBlockSize, '\0');
  std::uint32_t left = load32_be(bytes.substr(0, 4));
  std::uint32_t right = load32_be(std::string_view(bytes).substr(4, 4));
  cipher.encrypt_block(left, right);
  std::string out;
  store32_be(out, left);
  store32_be(out, right);
  return hex_encode(out);
}

std::string decrypt_block_hex(const BlowfishCipher& cipher, std::string_view text) {
  std::uint32_t left = parse_hex32(text.substr(0, 8));
  std::uint32_t right = parse_hex32(text.size() > 8 ? text.substr(8, 8) : std::string_view{});
  cipher.decrypt_block(left, right);
  std::string out;
  store32_be(out, left);
  store32_be(out, right);
  return out;
}

std::string seal_cbc(const BlowfishCipher& cipher, std::string_view plain) {
  return seal_cbc_with_iv(cipher, plain, make_iv());
}

std::string seal_cbc_with_iv(const BlowfishCipher& cipher, std::string_view plain,
                             std::string_view iv) {
  const std::string padded = pad(plain);
  std::string prev = xor_block(iv, {});
  std::string sealed = hex_encode(prev);
  for (std::size_t at = 0; at < padded.size(); at += kBlockSize) {
    std::string digits =
        encrypt_block_hex(cipher, xor_block(std::string_view(padded).substr(at, kBlockSize), prev));
    prev = hex_decode(digits);
    sealed += digits;
  }
  return sealed;
}

std::string open_cbc(const BlowfishCipher& cipher, std::string_view sealed) {
  if (sealed.size() < 32) return {};
  std::string prev = xor_block(hex_decode(sealed.substr(0, 16)), {});
  const std::string_view body = sealed.substr(16);
  std::string plain;
  for (std::size_t at = 0; at + 16 <= body.size(); at += 16) {
    const std::string_view group = body.substr(at, 16);
    plain += xor_block(decrypt_block_hex(cipher, group), prev);
    prev = xor_block(hex_decode(group), {});
  }
  return unpad(std::move(plain));
}

std::string seal_ecb(const BlowfishCipher& cipher, std::string_view plain) {
  const std::string padded = pad(plain);
  std::string sealed;
  for (std::size_t at = 0; at < padded.size(); at += kBlockSize) {
    sealed += encrypt_block_hex(cipher, std::string_view(padded).substr(at, kBlockSize));
  }
  return sealed;
}

}  // namespace velmora
