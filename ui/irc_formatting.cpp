#include "ui/irc_formatting.h"

namespace velmora {
namespace {

using Accept = bool (*)(char);
bool digit(char c) { return c >= '0' && c <= '9'; }
bool hex_digit(char c) { return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// How many characters from `at` on pass `accept`, at most `most`.
std::size_t run_of(std::string_view text, std::size_t at, std::size_t most, Accept accept) {
  std::size_t n = 0;
  while (n < most && at + n < text.size() && accept(text[at + n])) ++n;
  return n;
}

// The length of a colour's numbers after its code: "fg" or "fg,bg"; a comma without a
// number after it is text.
std::size_t colour_length(std::string_view text, std::size_t at, std::size_t most, Accept accept) {
  const std::size_t fg = run_of(text, at, most, accept);
  if (fg == 0 || at + fg >= text.size() || text[at + fg] != ',') return fg;
  const std::size_t bg = run_of(text, at + fg + 1, most, accept);
  return bg == 0 ? fg : fg + 1 + bg;
}

}  // namespace

std::string strip_formatting(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '\x03': i += colour_length(text, i + 1, 2, digit); break;
      case '\x04': i += colour_length(text, i + 1, 6, hex_digit); break;
      case '\x02': case '\x0F': case '\x11': case '\x16': case '\x1D': case '\x1E': case '\x1F': break;
      default: out += text[i];
    }
  }
  return out;
}

}  // namespace velmora
