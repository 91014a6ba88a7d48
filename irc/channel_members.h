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

// Asks for at most one names list at a time: a change while one is on its way asks for
// one more after its answer. A request unanswered for a minute no longer counts.
class NamesRefresh {
public:
  using Clock = std::chrono::steady_clock;
  // The members changed; true when a request is to go out now.
  bool changed(Clock::time_point now);
  // A names list arrived; true when a request is to go out now.
  bool answered(Clock::time_point now);

private:
  bool send(Clock::time_point now);
  bool outstanding_ = false;
  bool changed_since_ = false;
  Clock::time_point sent_at_{};
};

}  // namespace velmora
