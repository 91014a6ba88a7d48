#include "secure/sha1.h"

#include "secure/byte_order.h"
#include "secure/hex.h"

namespace velmora {

namespace {

constexpr std::uint32_t rotate_left(std::uint32_t word, int bits) {
  return (word << bits) | (word >> (32 - bits));
}

std::uint32_t round_mix(int t, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  if (t < 20) return ((b & c) | (~b & d)) + 0x5A827999;
  if (t < 40) return (b ^ c ^ d) + 0x6ED9EBA1;
  if (t < 60) return ((b & c) | (b & d) | (c & d)) + 0x8F1BBCDC;
  return (b ^ c ^ d) + 0xCA62C1D6;
}

void process_block(Sha1Context& context) {
  std::uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = load32_be(&context.block[4 * t]);
  for (int t = 16; t < 80; ++t) w[t] = rotate_left(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  auto [a, b, c, d, e] = context.intermediate_hash;
  for (int t = 0; t < 80; ++t) {
    std::uint32_t temp = rotate_left(a, 5) + round_mix(t, b, c, d) + e + w[t];
    e = d;
    d = c;
    c = rotate_left(b, 30);
    b = a;
    a = temp;
  }
  auto& h = context.intermediate_hash;
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  context.block_index = 0;
}

void pad_message(Sha1Context& context) {
  context.block[context.block_index++] = 0x80;
  if (context.block_index > 56) {
    while (context.block_index < 64) context.block[context.block_index++] = 0;
    process_block(context);
  }
  while (context.block_index < 56) context.block[context.block_index++] = 0;
  for (int i = 0; i < 4; ++i) {
    context.block[56 + i] = static_cast<std::uint8_t>(context.length_high >> (24 - 8 * i));
    context.block[60 + i] = static_cast<std::uint8_t>(context.length_low >> (24 - 8 * i));
  }
  process_block(context);
}

}  // namespace

int SHA1Reset(Sha1Context* context) {
  if (!context) return sha1_null;
  *context = Sha1Context{};
  context->intermediate_hash = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  return sha1_success;
}

int SHA1Input(Sha1Context* context, const std::uint8_t* bytes, std::size_t length) {
  if (length == 0) return sha1_success;
  if (!context || !bytes) return sha1_null;
  if (context->computed) return context->corrupted = sha1_state_error;
  if (context->corrupted) return context->corrupted;
  for (std::size_t i = 0; i < length && !context->corrupted; ++i) {
    context->block[context->block_index++] = bytes[i];
    context->length_low += 8;
    if (context->length_low == 0 && ++context->length_high == 0) {
      context->corrupted = sha1_null;  // the message is too long
    }
    if (context->block_index == 64) process_block(*context);
  }
  return context->corrupted;
}

int SHA1Result(Sha1Context* context, std::uint8_t digest[kSha1HashSize]) {
  if (!context || !digest) return sha1_null;
  if (context->corrupted) return context->corrupted;
  if (!context->computed) {
    pad_message(*context);
    context->block.fill(0);  // the message may be a secret
    context->length_low = 0;
    context->length_high = 0;
    context->computed = 1;
  }
  for (std::size_t i = 0; i < kSha1HashSize; ++i) {
    digest[i] = static_cast<std::uint8_t>(context->intermediate_hash[i / 4] >> (24 - 8 * (i % 4)));
  }
  return sha1_success;
}

std::string sha1_hex(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  // Only a null argument or more than 2^61 bytes could fail here.
  Sha1Context context;
  std::uint8_t digest[kSha1HashSize];
  if (SHA1Reset(&context) != sha1_success ||
      SHA1Input(&context, reinterpret_cast<const std::uint8_t*>(text.data()), text.size()) !=
          sha1_success ||
      SHA1Result(&context, digest) != sha1_success) {
    return {};
  }
  return hex_encode(std::string_view(reinterpret_cast<const char*>(digest), kSha1HashSize));
}

}  // namespace velmora
