#pragma once
// The server's line terminator, learned from the first bytes it sends.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

class ChatSocket;

// Bytes examined; when they hold no terminator the server is taken to use CR LF.
inline constexpr std::size_t kTerminatorWindow = 512;
// Bytes to peek: the window and the byte that tells whether a CR ending it is CR LF.
inline constexpr std::size_t kTerminatorPeek = kTerminatorWindow + 1;

// Searches `first_bytes` (NUL bytes included) for "\r\n", then "\n\r", then "\n", then
// "\r"; the first pair or byte found wins. Empty when there is none, and while
// `more_may_follow` and the bytes end in a CR that may yet be the first half of CR LF:
// a server whose CR and LF came in separate segments was taken for a CR server and the
// whole connection went deaf.
std::string detect_terminator(std::string_view first_bytes, bool more_may_follow = false);

// What the connection goes by, given the first bytes peeked (up to kTerminatorPeek):
// detect_terminator's answer; CR LF when a full window holds none or nothing more can
// come; empty while undecided.
std::string settle_terminator(std::string_view first_bytes, bool more_may_follow);

// Peeks at what the socket has received, waking for every new byte, until the bytes
// settle the terminator (returned; a closed socket always settles), `deadline` passes or
// `stopping` says so (empty then). Consumes nothing.
std::string await_terminator(ChatSocket& socket, std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& stopping);

}  // namespace velmora
