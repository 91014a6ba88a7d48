#include "irc/channel_members.h"

#include <algorithm>

#include "irc/receive_loop.h"

namespace velmora {
namespace {

constexpr auto kNamesAnswerWait = std::chrono::seconds(60);

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

bool same_channel(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

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

void ChannelTracker::begin(const std::string& nick, const std::string& channel) {
  std::lock_guard hold(lock_);
  nick_ = nick;
  channel_ = channel;
  members_.clear();
  refresh_ = {};
}

MemberEvent ChannelTracker::follow(const IrcMessage& m, Clock::time_point now, bool& ask_names) {
  std::lock_guard hold(lock_);
  ask_names = refresh_.due(now);
  MemberEvent event;
  // The welcome names us as the server has us, an alternative nick perhaps.
  if (m.command == "001" && !m.param(0).empty() && m.param(0) != "*") {
    if (m.param(0) != nick_) event = {MemberEvent::Kind::Renamed, nick_, m.param(0)};
    nick_ = m.param(0);
    return event;
  }
  if (m.command == "470" && !m.param(2).empty()) {
    channel_ = m.param(2);
    members_.clear();
    return {MemberEvent::Kind::Forwarded, {}, channel_};
  }
  const std::string own = nick_;
  if (m.command == "NICK" && m.nick == own && !m.text().empty()) {
    nick_ = m.text();
    event = {MemberEvent::Kind::Renamed, own, nick_};
  }
  if (!apply_membership(members_, m, channel_, own)) return event;
  if (m.command == "JOIN") event = {MemberEvent::Kind::Joined, m.nick, {}};
  if (m.command == "PART" || m.command == "QUIT") event = {MemberEvent::Kind::Left, m.nick, {}};
  if (m.command == "KICK") event = {MemberEvent::Kind::Left, m.param(1), {}};
  if (m.command == "NICK") event = {MemberEvent::Kind::Renamed, m.nick, m.text()};
  // The server sends the list itself when we join; when we leave there is none to ask.
  const bool about_us = event.nick == own;
  if (!about_us || m.command == "NICK") ask_names = refresh_.changed(now) || ask_names;
  return event;
}

bool ChannelTracker::is_our_channel(std::string_view channel) const {
  std::lock_guard hold(lock_);
  return channel_.empty() || same_channel(channel, channel_);
}

bool ChannelTracker::names(std::vector<std::string> members, Clock::time_point now) {
  std::lock_guard hold(lock_);
  members_ = std::move(members);
  return refresh_.answered(now);
}

std::string ChannelTracker::nick() const {
  std::lock_guard hold(lock_);
  return nick_;
}

std::string ChannelTracker::channel() const {
  std::lock_guard hold(lock_);
  return channel_;
}

std::vector<std::string> ChannelTracker::members() const {
  std::lock_guard hold(lock_);
  return members_;
}

bool ChannelTracker::in_channel() const {
  std::lock_guard hold(lock_);
  return !members_.empty();
}

}  // namespace velmora
