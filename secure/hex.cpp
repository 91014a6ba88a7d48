#include "secure/hex.h"

namespace velmora {

namespace {

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value of the leading hex digits of a group of one or two characters.
char decode_pair(std::string_view pair) {
  int value = 0;
  for (char c : pair) {
    int digit = hex_digit_value(c);
    if (digit < 0) break;
    value = value * 16 + digit;
  }
  return static_cast<char>(value);
}

}  // namespace

std::string hex_encode(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

std::string hex_decode(std::string_view text) {
  std::string bytes;
  bytes.reserve((text.size() + 1) / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    bytes.push_back(decode_pair(text.substr(i, 2)));
  }
  return bytes;
}

}  // namespace velmora
