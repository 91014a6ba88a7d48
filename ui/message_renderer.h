#pragma once
// How each line the receive thread left for the window is shown: a table from command
// to rendering, with a default row for every command it does not list; and the
// client's own notes, in their words.

#include "irc/inbound_queue.h"
#include "ui/chat_view.h"
#include "ui/session_view.h"

namespace velmora {

class MessageRenderer {
public:
  explicit MessageRenderer(ChatView& view);

  // Closes an open chat block for anything but a chat line, then renders a note, or a
  // line by the table. `state` is the tick's copy of the session's state.
  void render(const ReceivedLine& item, const SessionView& state);

  // One handler per row of the table.
  using Handler = void (MessageRenderer::*)(const IrcMessage&);

private:
  void render_note(const ViewNote& note);
  void render_nothing(const IrcMessage&) {}
  void render_welcome(const IrcMessage& m);
  void render_channel_url(const IrcMessage& m);
  void render_topic(const IrcMessage& m);
  void render_motd_line(const IrcMessage& m);
  void render_motd_edge(const IrcMessage& m);
  void render_error_reply(const IrcMessage& m);
  void render_forward(const IrcMessage& m);
  void render_nick(const IrcMessage& m);
  void render_error(const IrcMessage& m);
  void render_notice(const IrcMessage& m);
  void render_join(const IrcMessage& m);
  void render_leave(const IrcMessage& m);
  void render_kick(const IrcMessage& m);
  void render_invite(const IrcMessage& m);
  void render_privmsg(const IrcMessage& m);
  void render_other(const IrcMessage& m);

  static Handler handler_for(const std::string& command);

  ChatView& view_;
  // The line being rendered: the tick's state and who could read the line.
  const SessionView* state_ = nullptr;
  LinePrivacy privacy_ = LinePrivacy::None;
};

}  // namespace velmora
