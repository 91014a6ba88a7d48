#pragma once
// How each server line the receive thread left for the window is shown: a table from
// command to rendering, with a default row for every command it does not list.

#include "irc/irc_message.h"
#include "ui/chat_session.h"
#include "ui/chat_view.h"

namespace velmora {

class MessageRenderer {
public:
  MessageRenderer(ChatView& view, ChatSession& session);

  // Closes an open chat block for any non-PRIVMSG line, then renders by the table.
  void render(const IrcMessage& message);

  // One handler per row of the table.
  using Handler = void (MessageRenderer::*)(const IrcMessage&);

private:
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
  void render_privmsg(const IrcMessage& m);
  void render_other(const IrcMessage& m);

  static Handler handler_for(const std::string& command);

  ChatView& view_;
  ChatSession& session_;
};

}  // namespace velmora
