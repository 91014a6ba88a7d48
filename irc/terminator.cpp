#include "irc/terminator.h"

namespace velmora {

std::string detect_terminator(std::string_view first_bytes, bool more_may_follow) {
  std::string_view window = first_bytes.substr(0, kTerminatorWindow);
  // A CR as the window's last byte pairs with the byte after it, when that is here.
  if (window.ends_with('\r')) window = first_bytes.substr(0, kTerminatorPeek);
  if (window.find("\r\n") != std::string_view::npos) return "\r\n";
  if (more_may_follow && window.size() == first_bytes.size() && window.ends_with('\r')) {
    return {};
  }
  for (std::string_view candidate : {"\n\r", "\n", "\r"}) {
    if (window.find(candidate) != std::string_view::npos) return std::string(candidate);
  }
  return {};
}

std::string settle_terminator(std::string_view first_bytes, bool more_may_follow) {
  std::string found = detect_terminator(first_bytes, more_may_follow);
  if (!found.empty()) return found;
  const bool window_full =
      first_bytes.size() >= kTerminatorPeek ||
      (first_bytes.size() >= kTerminatorWindow && first_bytes[kTerminatorWindow - 1] != '\r');
  return window_full || !more_may_follow ? "\r\n" : "";
}

}  // namespace velmora
