#include "irc/terminator.h"

namespace velmora {

std::string detect_terminator(std::string_view first_bytes) {
  first_bytes = first_bytes.substr(0, kTerminatorWindow);
  for (std::string_view candidate : {"\r\n", "\n\r", "\n", "\r"}) {
    if (first_bytes.find(candidate) != std::string_view::npos) return std::string(candidate);
  }
  return {};
}

}  // namespace velmora
