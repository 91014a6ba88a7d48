#pragma once
// What the window's rules read and change of the program's shared state. The
// application implements it over AppState; tests implement it as a fake. Called on the
// main thread only; the implementation makes each call safe against the other threads.

#include <chrono>
#include <string>
#include <string_view>

#include "irc/inbound_queue.h"
#include "ui/session_view.h"

namespace velmora {

class ChatSession {
public:
  virtual ~ChatSession() = default;

  // Everything the window shows of the state, as one copy; read once per tick.
  virtual SessionView view() const = 0;

  // The lines and notes waiting for the view.
  virtual int queued_count() const = 0;
  virtual ReceivedLine pop_item() = 0;

  // Actions.
  virtual void send_line(const std::string& line) = 0;  // logged, queued with CR LF
  // One typed line to the channel: sealed when a passphrase is set, split to fit.
  virtual void send_chat_line(std::string_view text) = 0;
  // "/me": sealed and split like a chat line when a passphrase is set, else unsealed.
  virtual void send_action(std::string_view text) = 0;
  virtual void start_connection() = 0;     // a new connection thread with the settings as they stand
  // The user's disconnect: ends the connection, or stops waiting to reconnect.
  virtual void disconnect() { send_line("quit"); }
  // Tells the user something in the status line.
  virtual void set_status(const std::string& text) = 0;
  // Blocks until the socket reports closed or `bound` passes; true when it closed.
  virtual bool wait_socket_closed(std::chrono::milliseconds bound) = 0;

  // The user list's redraw flag (the receive side and the key agreement raise it).
  virtual bool take_user_list_dirty() = 0;  // the flag's value; clears it
  virtual void mark_user_list_dirty() = 0;

  virtual void set_offline_shown(bool shown) = 0;
  virtual void set_shutting_down() = 0;
  // Raw traffic gathered since the last take, each line followed by CR LF; clears it.
  virtual std::string take_raw_log() = 0;

  // A descriptor that turns readable when any of the above may have changed, or -1
  // when there is none (the face then never sleeps). The tick drains it first.
  virtual int change_fd() const { return -1; }
  virtual void drain_changes() {}
};

}  // namespace velmora
