#pragma once
// What the receive thread asks of the layer above for every line: the key-exchange
// rules live there. Tests implement it as a recorder. All calls come from the
// receive thread of one connection.

#include <string>
#include <vector>

#include "irc/channel_members.h"
#include "irc/inbound_queue.h"
#include "irc/irc_message.h"

namespace velmora {

class ReceiveHooks {
public:
  virtual ~ReceiveHooks() = default;
  // A new connection's receive thread starts: per-connection state starts afresh.
  virtual void connection_started() {}
  // What a line did to the channel's members or to us, before the line itself.
  virtual void member_event(const MemberEvent& /*event*/) {}
  // Every parsed line; true consumes it.
  virtual bool handle_message(const IrcMessage& message) = 0;
  // A line nobody consumed, before it is queued for the window: the hooks may put in
  // place what the window is to show (a sealed chat line's words, and who could read
  // the line); false keeps the line from the window.
  virtual bool prepare_for_window(ReceivedLine& /*line*/) { return true; }
  // A complete names list (prefixes removed) has been stored in the connection.
  virtual void names_stored(const std::vector<std::string>& users) = 0;
  // Registration has news for the user (logged in, joining), or a refusal that
  // stays and that the view shows in place of the line.
  virtual void registration_status(const std::string& /*text*/, bool /*refusal*/) {}
  // The receive thread ends (the connection is closed).
  virtual void connection_ended() {}
};

}  // namespace velmora
