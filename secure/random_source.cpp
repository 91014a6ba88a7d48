#include "secure/random_source.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bigint/bigint.h"

namespace velmora {

namespace {

constexpr std::size_t kRandomStringLength = 56;
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool fill_from_urandom(char* out, std::size_t size) {
  std::ifstream device("/dev/urandom", std::ios::binary);
  return device.read(out, static_cast<std::streamsize>(size)).good();
}

// Sealing with an IV, a key or an exponent nobody drew would look like privacy and
// give none: without any randomness the program stops instead.
[[noreturn]] void no_randomness() {
  std::fputs("velmora: the system gives no random bytes (getrandom and /dev/urandom both "
             "failed); stopping rather than seal with predictable values\n", stderr);
  std::abort();
}

}  // namespace

void fill_random(void* out, std::size_t size) {
  auto* bytes = static_cast<char*>(out);
  std::size_t done = 0;
  while (done < size) {
    ssize_t got = getrandom(bytes + done, size - done, 0);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      if (!fill_from_urandom(bytes + done, size - done)) no_randomness();
      return;
    }
  }
}

std::string random_bytes(std::size_t count) {
  std::string bytes(count, '\0');
  fill_random(bytes.data(), count);
  return bytes;
}

std::uint32_t random_below(std::uint32_t bound) {
  if (bound == 0) return 0;
  // Draws above the largest multiple of bound are redrawn so every result is as likely.
  const std::uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
  for (;;) {
    std::uint32_t draw = 0;
    fill_random(&draw, sizeof draw);
    if (draw < limit) return draw % bound;
  }
}

std::vector<std::uint32_t> random_words(int bits) {
  if (bits <= 0) return {};
  const auto word_count = static_cast<std::size_t>((bits + 31) / 32);
  std::vector<std::uint32_t> words(word_count, 0);
  fill_random(words.data(), word_count * sizeof(std::uint32_t));
  const int top_bits = bits - 32 * static_cast<int>(word_count - 1);  // 1..32
  std::uint32_t& top = words.back();
  if (top_bits < 32) top &= (1u << top_bits) - 1;
  top |= 1u << (top_bits - 1);
  return words;
}

std::string random_integer(int bits) {
  const std::vector<std::uint32_t> words = random_words(bits);
  if (words.empty()) return {};
  BigIntPtr number(bigint_create(static_cast<unsigned>(words.size())));
  BigIntTextPtr text(bigint_text_create(1));
  if (!number || !text ||
      bigint_set_words(number.get(), words.data(), static_cast<unsigned>(words.size())) != 0 ||
      bigint_to_text(number.get(), 10, text.get()) != 0) {
    return {};
  }
  return std::string(text->text.get(), text->length);
}

std::string random_string() {
  // Bytes from 248 up are redrawn: 248 is the largest multiple of 62 below 256.
  const auto limit = static_cast<unsigned char>(kAlphabet.size() * (256 / kAlphabet.size()));
  std::string text;
  text.reserve(kRandomStringLength);
  while (text.size() < kRandomStringLength) {
    std::string draw = random_bytes(kRandomStringLength);
    if (draw.empty()) return {};
    for (unsigned char byte : draw) {
      if (byte < limit && text.size() < kRandomStringLength) {
        text.push_back(kAlphabet[byte % kAlphabet.size()]);
      }
    }
  }
  return text;
}

}  // namespace velmora
