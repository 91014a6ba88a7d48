#pragma once
// IRC formatting codes in text from outside: bold (0x02), colour (0x03 with up to two
// digits, then a comma and up to two more), hex colour (0x04 with six hex digits, then
// a comma and six more), reset (0x0F), monospace (0x11), reverse (0x16), italic
// (0x1D), strikethrough (0x1E) and underline (0x1F). Left in, they came out as "\x02"
// escapes around the words.

#include <string>
#include <string_view>

namespace velmora {

// `text` without its formatting codes (and their colour numbers); all else as it is.
std::string strip_formatting(std::string_view text);

}  // namespace velmora
