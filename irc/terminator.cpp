#include "irc/terminator.h"

#include <algorithm>

#include "net/chat_socket.h"

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

std::string await_terminator(ChatSocket& socket, std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& stopping) {
  using Clock = std::chrono::steady_clock;
  // A wait is cut into pieces so that a deadline far off still sees `stopping`.
  constexpr std::chrono::milliseconds kLongestWait{1000};
  std::size_t seen = 0;
  while (!stopping()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return {};
    // Nothing new and still open: the piece of the wait ran out.
    if (!socket.wait_for_more(seen, std::min(left, kLongestWait)) && !socket.is_closed()) continue;
    const bool more_may_follow = !socket.is_closed();
    std::string peeked(std::min(socket.length(), kTerminatorPeek), '\0');
    const int got = socket.get_data(peeked.data(), static_cast<int>(peeked.size()), true);
    peeked.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    std::string found = settle_terminator(peeked, more_may_follow);
    if (!found.empty()) return found;
    // A partial first line, or one whose LF is still on its way.
    seen = peeked.size();
  }
  return {};
}

}  // namespace velmora
