#include "secure/control_text.h"

#include <algorithm>

#include "secure/sha1.h"

namespace velmora {

std::string key_check(std::string_view channel_key) {
  std::string text = "velmora key check ";
  text += channel_key;
  return sha1_hex(text).substr(0, kKeyCheckDigits);
}

std::string announcement(std::string_view channel_key) {
  return std::string(kAuthenticatedMarker) + " " + key_check(channel_key);
}

std::string_view announced_key_check(std::string_view text) {
  const std::string_view check = text_after(text, kAuthenticatedMarker.size() + 1);
  const bool hex = std::all_of(check.begin(), check.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
  if (check.size() != kKeyCheckDigits || !hex || text[kAuthenticatedMarker.size()] != ' ') {
    return {};
  }
  return check;
}

std::string_view text_after(std::string_view text, std::size_t count) {
  return count < text.size() ? text.substr(count) : std::string_view{};
}

std::string_view last_characters(std::string_view text, std::size_t count) {
  return count < text.size() ? text.substr(text.size() - count) : text;
}

std::string_view public_request_value(std::string_view text) {
  const std::size_t start = kPublicMarker.size() + 1;
  const std::size_t tail = kTokenDigits + 1;
  if (text.size() < start + tail) return {};
  return text.substr(start, text.size() - start - tail);
}

std::string_view public_request_token(std::string_view text) {
  return last_characters(text, kTokenDigits);
}

}  // namespace velmora
