#pragma once
// The server's line terminator, learned from the first bytes it sends.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// Bytes examined; when they hold no terminator the server is taken to use CR LF.
inline constexpr std::size_t kTerminatorWindow = 512;

// Searches `first_bytes` (NUL bytes included) for "\r\n", then "\n\r", then "\n", then
// "\r"; the first pair or byte found wins. Empty when there is none.
std::string detect_terminator(std::string_view first_bytes);

}  // namespace velmora
