#pragma once
// What the window's rules read and change of the program's shared state. The
// application implements it over AppState; tests implement it as a fake. Called on the
// main thread only; the implementation makes each call safe against the other threads.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "irc/irc_message.h"

namespace velmora {

class ChatSession {
public:
  virtual ~ChatSession() = default;

  // Connection.
  virtual bool connecting() const = 0;     // an attempt is connecting (lines wait to be shown)
  virtual bool socket_closed() const = 0;
  virtual int queued_count() const = 0;
  virtual IrcMessage pop_message() = 0;
  virtual void send_line(const std::string& line) = 0;  // logged, queued with CR LF
  // One typed line to the channel: sealed when a passphrase is set, split to fit.
  virtual void send_chat_line(std::string_view text) = 0;
  // "/me": sealed and split like a chat line when a passphrase is set, else unsealed.
  virtual void send_action(std::string_view text) = 0;
  virtual void start_connection() = 0;     // a new connection thread with the settings as they stand
  // The user's disconnect: ends the connection, or stops waiting to reconnect.
  virtual void disconnect() { send_line("quit"); }
  // Waiting to reconnect after a drop (Disconnect then stops it, Connect hurries it).
  virtual bool reconnecting() const { return false; }
  // A chat line can go out now: no passphrase, or the channel key is held.
  virtual bool chat_ready() const = 0;
  // Tells the user something in the status line.
  virtual void set_status(const std::string& text) = 0;
  // Blocks until the socket reports closed or `bound` passes; true when it closed.
  virtual bool wait_socket_closed(std::chrono::milliseconds bound) = 0;

  // Who and where this client is (the receive side keeps both current).
  virtual std::string current_nick() const = 0;
  virtual std::string current_channel() const = 0;

  // The channel key.
  virtual bool holds_key(const std::string& nick) const = 0;

  // The channel's users (empty entries are skipped by the readers) and their redraw flag.
  virtual std::vector<std::string> channel_users() const = 0;
  virtual bool take_user_list_dirty() = 0;  // the flag's value; clears it
  virtual void mark_user_list_dirty() = 0;

  virtual bool offline_shown() const = 0;
  virtual void set_offline_shown(bool shown) = 0;
  virtual void set_shutting_down() = 0;
  virtual std::string status_text() const = 0;
  // Raw traffic gathered since the last take, each line followed by CR LF; clears it.
  virtual std::string take_raw_log() = 0;
  // A title another thread asked for, once.
  virtual std::optional<std::string> take_pending_title() = 0;

  // A descriptor that turns readable when any of the above may have changed, or -1
  // when there is none (the face then never sleeps). The tick drains it first.
  virtual int change_fd() const { return -1; }
  virtual void drain_changes() {}
};

}  // namespace velmora
