#include "irc/auto_reply.h"

#include <cstdio>

namespace velmora {
namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The part of `raw` after the command word (" :x" for both 'PING :x' and ':s PING :x').
std::string_view after_command(std::string_view raw, const IrcMessage& message) {
  std::size_t start = 0;
  if (!raw.empty() && raw[0] == ':') {
    std::size_t space = raw.find(' ');
    start = space == std::string_view::npos ? 1 : space + 1;
  }
  start += message.command.size();
  return start < raw.size() ? raw.substr(start) : std::string_view{};
}

std::string client_query_reply(const IrcMessage& message, const std::tm& local) {
  const std::string& text = message.text();
  std::string to = "NOTICE " + message.nick + " :";
  if (text.starts_with("\x01VERSION\x01")) return to + kVersionReply;
  if (text.starts_with("\x01TIME")) return to + "\x01TIME " + ctcp_time_text(local) + "\x01";
  if (text.starts_with("\x01PING")) return to + text;
  return {};
}

}  // namespace

std::string ctcp_time_text(const std::tm& t) {
  char out[64];
  std::snprintf(out, sizeof out, "%s %s %02d %02d:%02d:%02d %04d",
                kDays[((t.tm_wday % 7) + 7) % 7], kMonths[((t.tm_mon % 12) + 12) % 12],
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return out;
}

AutoReply automatic_reply(const IrcMessage& message, std::string_view raw, const std::tm& local) {
  if (message.command == "PING") {
    return {ReplyKind::ServerPing, "PONG" + std::string(after_command(raw, message))};
  }
  if (message.command == "PRIVMSG" && !message.nick.empty()) {
    std::string reply = client_query_reply(message, local);
    if (!reply.empty()) return {ReplyKind::ClientQuery, std::move(reply)};
  }
  return {};
}

bool QueryLimiter::allow(Clock::time_point now) {
  while (!answered_.empty() && now - answered_.front() >= window_) answered_.pop_front();
  if (static_cast<int>(answered_.size()) >= limit_) return false;
  answered_.push_back(now);
  return true;
}

}  // namespace velmora
