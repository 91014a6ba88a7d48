#pragma once
// What the chat view shows of text it did not write itself (server lines, opened
// @CRYPTO lines, nicks, typed lines). Such text is arbitrary bytes; both faces get valid
// UTF-8 with no control characters, so nothing a peer sends can drive a terminal or
// break the toolkit's text buffer.

#include <string>
#include <string_view>

namespace velmora {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool is_valid_utf8(std::string_view text);

// Each byte read as Windows-1252 and written as UTF-8. The five bytes that code page
// leaves undefined come out as "\x81" style escapes.
std::string cp1252_to_utf8(std::string_view text);

// Valid UTF-8 is kept; anything else is read as Windows-1252. Control characters
// (C0, DEL and C1) are then written as visible escapes such as "\x1B".
std::string display_text(std::string_view text);

}  // namespace velmora
