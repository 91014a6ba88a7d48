#pragma once
// The channel's members between two names lists: JOIN, PART, KICK, QUIT and NICK
// change the list the last names reply gave, so who is in the channel is known the
// moment a line says so, not only after the next names reply.

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "irc/irc_message.h"
#include "irc/receive_loop.h"

namespace velmora {

// Channel names compare without ASCII case.
bool same_channel(std::string_view a, std::string_view b);

// Applies one line to `members` (the list of `channel`, where this client is
// `own_nick`); true when the list changed.
bool apply_membership(std::vector<std::string>& members, const IrcMessage& message,
                      std::string_view channel, std::string_view own_nick);

// Asks for at most one names list at a time, and at most one in kNamesInterval: the
// list is kept from JOIN, PART, KICK, QUIT and NICK anyway, so a names list only
// corrects it, and ngircd holds a client back about a second for each names request
// (a user's line waited 2 s behind three of them). Changes while a request is on its
// way, or too soon after one, ask for one more later.
class NamesRefresh {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kNamesInterval{10};
  // The members changed; true when a request is to go out now.
  bool changed(Clock::time_point now);
  // A names list arrived; true when a request is to go out now.
  bool answered(Clock::time_point now);
  // Any other moment (any line received); true when a deferred request is due.
  bool due(Clock::time_point now);

private:
  bool send(Clock::time_point now);
  bool outstanding_ = false;
  bool changed_since_ = false;
  Clock::time_point sent_at_{};
};

// What one received line did to the channel or to us.
struct MemberEvent {
  enum class Kind { None, Joined, Left, Renamed, Forwarded };
  Kind kind = Kind::None;
  std::string nick;  // who joined, left or was renamed; ourselves included
  std::string to;    // Renamed: the new nick; Forwarded: the channel we were sent to
};

// Who we are, where, and with whom, as the server says: our nick (the welcome, NICK),
// our channel (a 470 forward to another), its members (the names list, kept current
// by JOIN, PART, KICK, QUIT and NICK), and when a names list is to be asked for. Read
// from any thread; written by the receive thread.
class ChannelTracker {
public:
  using Clock = NamesRefresh::Clock;
  // A login: who we mean to be, and where.
  void begin(const std::string& nick, const std::string& channel);
  // One received line. `ask_names` tells whether a names request is to go out now.
  MemberEvent follow(const IrcMessage& message, Clock::time_point now, bool& ask_names);
  // Whether a names reply (353, 366) speaks of our channel. Before a channel is set,
  // any does.
  bool is_our_channel(std::string_view channel) const;
  // A complete names list of our channel; true when a names request is to go out now.
  bool names(std::vector<std::string> members, Clock::time_point now);

  std::string nick() const;
  std::string channel() const;
  std::vector<std::string> members() const;
  bool in_channel() const;

private:
  mutable std::mutex lock_;
  std::string nick_;
  std::string channel_;
  std::vector<std::string> members_;
  NamesRefresh refresh_;  // the receive thread's alone
};

}  // namespace velmora
