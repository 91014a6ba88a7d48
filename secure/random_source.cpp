#include "secure/random_source.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace velmora {

namespace {

constexpr std::size_t kRandomStringLength = 56;
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool fill_from_urandom(char* out, std::size_t size) {
  std::ifstream device("/dev/urandom", std::ios::binary);
  return device.read(out, static_cast<std::streamsize>(size)).good();
}

// Divides the big-endian words by `divisor` in place and returns the remainder.
std::uint32_t divide_words(std::basic_string<std::uint32_t>& words, std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (auto& word : words) {
    std::uint64_t current = (remainder << 32) | word;
    word = static_cast<std::uint32_t>(current / divisor);
    remainder = current % divisor;
  }
  return static_cast<std::uint32_t>(remainder);
}

bool all_zero(const std::basic_string<std::uint32_t>& words) {
  return std::all_of(words.begin(), words.end(), [](std::uint32_t w) { return w == 0; });
}

}  // namespace

bool fill_random(void* out, std::size_t size) {
  auto* bytes = static_cast<char*>(out);
  std::size_t done = 0;
  while (done < size) {
    ssize_t got = getrandom(bytes + done, size - done, 0);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      return fill_from_urandom(bytes + done, size - done);
    }
  }
  return true;
}

std::string random_bytes(std::size_t count) {
  std::string bytes(count, '\0');
  if (!fill_random(bytes.data(), count)) return {};
  return bytes;
}

std::uint32_t random_below(std::uint32_t bound) {
  if (bound == 0) return 0;
  // Draws above the largest multiple of bound are redrawn so every result is as likely.
  const std::uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
  for (;;) {
    std::uint32_t draw = 0;
    if (!fill_random(&draw, sizeof draw)) return 0;
    if (draw < limit) return draw % bound;
  }
}

std::string words_to_decimal(std::basic_string<std::uint32_t> words) {
  if (all_zero(words)) return "0";
  std::string digits;
  while (!all_zero(words)) {
    std::uint32_t chunk = divide_words(words, 1000000000u);
    for (int i = 0; i < 9; ++i) {
      digits.push_back(static_cast<char>('0' + chunk % 10));
      chunk /= 10;
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::reverse(digits.begin(), digits.end());
  return digits;
}

std::string random_integer(int bits) {
  if (bits <= 0) return {};
  const auto word_count = static_cast<std::size_t>((bits + 31) / 32);
  std::basic_string<std::uint32_t> words(word_count, 0);
  if (!fill_random(words.data(), word_count * sizeof(std::uint32_t))) return {};
  const int top_bits = bits - 32 * static_cast<int>(word_count - 1);  // 1..32
  if (top_bits < 32) words[0] &= (1u << top_bits) - 1;
  words[0] |= 1u << (top_bits - 1);
  return words_to_decimal(std::move(words));
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
