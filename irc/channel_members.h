#pragma once
// The channel's members between two names lists: JOIN, PART, KICK, QUIT and NICK
// change the list the last names reply gave, so who is in the channel is known the
// moment a line says so, not only after the next names reply.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "irc/irc_message.h"
#include "irc/receive_loop.h"

namespace velmora {

// Applies one line to `members` (the list of `channel`, where this client is
// `own_nick`); true when the list changed. Channel names compare without ASCII case.
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

}  // namespace velmora
