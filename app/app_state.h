#pragma once
// The program's one state object: settings, the peer table, the channel's security
// state, the connection with its queue and receive thread, the status line and the
// raw log. main creates one; tests create several in one process.
//
// Every thread this object started (connection thread, receive thread, status
// worker) is stopped and joined before any member goes away; the members are listed
// once, in construction order, at the end of the class.
//
// How app/ reports failure: to the user, in words, in the status line (and in the view
// when a connection ends or is refused); a call returns bool only where its caller
// decides on it (start_connection). Settings never fail to load: what cannot be read
// keeps its default.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/program_paths.h"
#include "app/settings.h"
#include "app/status_line.h"
#include "irc/change_signal.h"
#include "irc/chat_log.h"
#include "irc/server_connection.h"
#include "secure/channel_security.h"
#include "secure/key_agreement.h"

namespace velmora {

class ExchangeHooks;

struct AppOptions {
  // Pause between the countdown texts after a failed attempt (tests shorten it).
  std::chrono::milliseconds countdown_step{1000};
  // How long a connected server may take to welcome us before the attempt fails.
  std::chrono::milliseconds welcome_bound{60000};
  // Keep-alive: after this long without a line from the server we ping it, and give
  // the connection up when the answer takes longer than ping_answer_wait.
  std::chrono::milliseconds quiet_before_ping{std::chrono::minutes(4)};
  std::chrono::milliseconds ping_answer_wait{std::chrono::seconds(60)};
};

class AppState {
public:
  // `files.settings_file` is read now (and deleted by DESTROYAFTER), log.txt goes in
  // `files.log_folder`, the faces find their data in `files.data_folder`.
  explicit AppState(ProgramFiles files, AppOptions options = {});
  // Everything in one folder, as in a build folder: log.txt and the data in `folder`.
  AppState(const std::string& folder, std::string settings_path, AppOptions options = {});
  virtual ~AppState();
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  const std::string& data_folder() const { return files_.data_folder; }
  const std::string& settings_path() const { return files_.settings_file; }

  // Settings: read at construction; the connection dialog may replace them.
  Settings settings() const;
  void set_settings(const Settings& settings);

  // The parts the faces and the tests reach through: the channel key, and the
  // connection with its queues.
  ChannelSecurity& security() { return security_; }
  const ChannelSecurity& security() const { return security_; }
  ServerConnection& connection() { return connection_; }
  const ServerConnection& connection() const { return connection_; }

  // Starts the connection thread (StartIRC). False, and nothing started, while a
  // previous one is still connecting or connected; while it waits to reconnect, it
  // tries at once instead.
  bool start_connection();
  // The connection thread is connecting (not once connected, while it only watches).
  bool connection_thread_running() const { return start_running_.load(); }
  // Connecting: lines that wait in the queue are not to be shown yet.
  bool connecting() const { return connecting_.load(); }

  // Stops and joins every thread this object started (the destructor does it too). A
  // class that overrides set_status or another hook calls it first in its own
  // destructor: the threads may call the hooks until they are joined.
  void stop();

  // Reconnection after an unexpected drop: the connection thread stays and tries again
  // after growing pauses. The user's disconnect ends the connection without that, and
  // during a pause stops the trying; start_connection() then tries at once.
  void request_disconnect();
  bool reconnecting() const { return reconnecting_.load(); }
  // From the receive thread: the connection ended, and any ERROR text the server sent.
  void connection_dropped();
  void note_server_error(const std::string& text);
  void note_heard();

  // The nick and channel in use: set from the settings at each connect, then kept
  // current by the receive side (the server's welcome, NICK, a forward to another channel).
  std::string current_nick() const { return connection_.channel_tracker().nick(); }
  std::string current_channel() const { return connection_.channel_tracker().channel(); }

  // The channel's users: the connection's member list (snapshot).
  std::vector<std::string> channel_users() const { return connection_.users(); }

  // The key agreement: whether we hold the channel's key, and what it knows of the
  // members (one copy).
  bool holds_key() const;
  AgreementSnapshot agreement_snapshot() const;

  // What the user typed, to the channel: sealed when a passphrase is set, split so
  // that every relayed line fits, and queued. Nothing goes out while a passphrase is
  // set and the channel key is not held yet.
  void send_chat_line(std::string_view text);
  // "/me": sealed and split like a chat line; without a passphrase the action as typed.
  void send_action(std::string_view text);

  // Status line (any thread); the window reads status_text() on every tick. Virtual
  // so that tests can record every text. StatusLine::kLasting for `seconds` posts a
  // text that stays beneath the transient ones.
  virtual void set_status(const std::string& text, int seconds);
  // A refusal the user has to act on (a refused login, JOIN or certificate): it stays
  // in the status line until the next connection, and the view shows it.
  void post_refusal(const std::string& text);
  // A new connection: the last one's refusal no longer holds.
  void clear_refusal() { status_.set_status({}, StatusLine::kLasting); }
  std::string status_text() const { return status_.status_text(); }

  // Raw traffic gathered for the window since its last take.
  std::string take_raw_log() { return chat_log_.take_raw_log(); }

  // Raised whenever something the window shows may have changed: a queued line, the
  // status text, the user list, the socket opening or closing, the connection
  // thread's end, raw traffic. A face sleeps on change_fd() while nothing changes and
  // drains it before each look at this state.
  int change_fd() const { return changes_.fd(); }
  void drain_changes() { changes_.drain(); }
  void note_change() { changes_.raise(); }

  // What the window has shown: the user list wants a redraw, the offline state.
  bool take_user_list_dirty() { return user_list_dirty_.exchange(false); }
  bool offline_shown() const { return offline_shown_.load(); }
  void set_offline_shown(bool shown) { offline_shown_ = shown; }
  // The window is closing: status texts change nothing more, no second goodbye.
  void set_shutting_down() { shutting_down_ = true; }

  void mark_user_list_dirty() {
    user_list_dirty_ = true;
    note_change();
  }

private:
  // The connection thread (app/start_irc.cpp).
  void supervise(const Settings& settings);
  std::string await_drop();
  bool reconnect_after_pause(const Settings& settings, int seconds);
  bool connect_once(const Settings& settings);
  void finish_connecting(const Settings& settings);
  void run_start_irc();
  bool attempt_connect(const Settings& settings);
  bool log_in_and_await_welcome(const Settings& settings);
  void show_in_view(ViewNote note);
  void show_refusal(const std::string& text);
  bool stopping();
  void countdown();
  void pause_unless_stopping(std::chrono::milliseconds duration);

  // Members in construction order; destruction runs in reverse, after stop().
  ChangeSignal changes_;  // first in, last out: every member below may raise it
  mutable std::mutex settings_lock_;
  Settings settings_;
  ProgramFiles files_;
  AppOptions options_;
  ChannelSecurity security_;
  std::atomic<bool> user_list_dirty_{false};
  std::atomic<bool> connecting_{true};
  std::atomic<bool> offline_shown_{true};
  std::atomic<bool> shutting_down_{false};
  ChatLog chat_log_;
  StatusLine status_;
  std::unique_ptr<ExchangeHooks> hooks_;
  ServerConnection connection_;

  std::mutex start_lock_;  // start_thread_
  std::condition_variable stop_signal_;
  bool stop_ = false;
  bool stopped_ = false;
  std::atomic<bool> start_running_{false};
  std::atomic<bool> reconnecting_{false};
  std::atomic<bool> thread_alive_{false};  // the connection thread, connecting or watching
  std::atomic<bool> user_disconnect_{false};
  std::atomic<std::int64_t> last_heard_{0};  // steady clock, nanoseconds
  bool dropped_ = false;        // under start_lock_
  bool reconnect_now_ = false;  // under start_lock_
  std::string server_error_;    // under start_lock_
  std::thread start_thread_;
};

}  // namespace velmora
