#pragma once
// The lines the receive thread answers on its own: server pings and the client
// queries VERSION, TIME and PING.

#include <chrono>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "irc/irc_message.h"

namespace velmora {

inline constexpr char kVersionReply[] = "\x01VERSION Velmora:1.0:Windows\x01";

// "ddd mmm dd hh:mm:ss yyyy" with English names, e.g. "Sat Dec 05 20:19:10 2026".
std::string ctcp_time_text(const std::tm& local);

enum class ReplyKind { None, ServerPing, ClientQuery };

struct AutoReply {
  ReplyKind kind = ReplyKind::None;
  std::string line;  // what to send (without CR LF)
};

// The answer to one line, if it is one we answer. Only a PING command is a server ping
// ("PONG" + what follows the command word); only a PRIVMSG carries a client query, so
// two clients never answer each other's NOTICE replies for ever.
AutoReply automatic_reply(const IrcMessage& message, std::string_view raw, const std::tm& local);

// At most `limit` client queries answered in any `window`; the rest are dropped.
class QueryLimiter {
public:
  using Clock = std::chrono::steady_clock;
  explicit QueryLimiter(int limit = 5, Clock::duration window = std::chrono::seconds(10))
      : limit_(limit), window_(window) {}
  bool allow(Clock::time_point now);

private:
  int limit_;
  Clock::duration window_;
  std::deque<Clock::time_point> answered_;
};

}  // namespace velmora
