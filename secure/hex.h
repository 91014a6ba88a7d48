#pragma once
// Cipher bytes travel as upper-case hexadecimal, two digits per byte.

#include <string>
#include <string_view>

namespace velmora {

std::string hex_encode(std::string_view bytes);

// One byte per digit pair; lower-case digits are accepted. A pair that is not wholly
// hexadecimal gives the value of its leading hex digits (0 when there are none); a
// lone last digit is read as a pair of its own. Never fails.
std::string hex_decode(std::string_view text);

}  // namespace velmora
