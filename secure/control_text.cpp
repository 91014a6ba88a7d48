#include "secure/control_text.h"

namespace velmora {

std::string_view text_after(std::string_view text, std::size_t count) {
  return count < text.size() ? text.substr(count) : std::string_view{};
}

std::string_view last_characters(std::string_view text, std::size_t count) {
  return count < text.size() ? text.substr(text.size() - count) : text;
}

std::string_view public_request_value(std::string_view text) {
  const std::size_t start = public_marker.size() + 1;
  const std::size_t tail = token_digits + 1;
  if (text.size() < start + tail) return {};
  return text.substr(start, text.size() - start - tail);
}

std::string_view public_request_token(std::string_view text) {
  return last_characters(text, token_digits);
}

}  // namespace velmora
