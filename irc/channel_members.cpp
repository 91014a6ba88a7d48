#include "irc/channel_members.h"

#include <algorithm>

#include "irc/receive_loop.h"

namespace velmora {
namespace {

constexpr auto kNamesAnswerWait = std::chrono::seconds(60);

bool same_channel(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

bool remove(std::vector<std::string>& members, std::string_view nick) {
  return std::erase(members, nick) > 0;
}

bool add(std::vector<std::string>& members, const std::string& nick) {
  if (nick.empty() || nick.size() > kMaxNickBytes || members.size() >= kMaxNames) return false;
  if (std::find(members.begin(), members.end(), nick) != members.end()) return false;
  members.push_back(nick);
  return true;
}

bool rename(std::vector<std::string>& members, const std::string& from, const std::string& to) {
  const auto found = std::find(members.begin(), members.end(), from);
  if (found == members.end()) return false;
  if (to.empty() || to.size() > kMaxNickBytes ||
      std::find(members.begin(), members.end(), to) != members.end()) {
    members.erase(found);
  } else {
    *found = to;
  }
  return true;
}

bool leave(std::vector<std::string>& members, std::string_view nick, std::string_view own) {
  if (nick != own) return remove(members, nick);
  const bool had = !members.empty();
  members.clear();  // we left: nobody is known to be there any more
  return had;
}

}  // namespace

bool apply_membership(std::vector<std::string>& members, const IrcMessage& m,
                      std::string_view channel, std::string_view own_nick) {
  const std::string& command = m.command;
  if (command == "QUIT") return remove(members, m.nick);
  if (command == "NICK") return rename(members, m.nick, m.text());
  if (!same_channel(m.param(0), channel)) return false;
  if (command == "JOIN") return add(members, m.nick);
  if (command == "PART") return leave(members, m.nick, own_nick);
  if (command == "KICK") return leave(members, m.param(1), own_nick);
  return false;
}

bool NamesRefresh::send(Clock::time_point now) {
  outstanding_ = true;
  changed_since_ = false;
  sent_at_ = now;
  return true;
}

bool NamesRefresh::changed(Clock::time_point now) {
  changed_since_ = true;
  return due(now);
}

bool NamesRefresh::answered(Clock::time_point now) {
  outstanding_ = false;
  return due(now);
}

bool NamesRefresh::due(Clock::time_point now) {
  if (!changed_since_) return false;
  if (outstanding_ && now - sent_at_ < kNamesAnswerWait) return false;
  if (sent_at_ != Clock::time_point{} && now - sent_at_ < kNamesInterval) return false;
  return send(now);
}

}  // namespace velmora
