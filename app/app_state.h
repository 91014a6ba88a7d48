#pragma once
// The program's one state object: settings, the peer table, the channel's security
// state, the connection with its queue and receive thread, the scheduler, the status
// line and the raw log. main creates one; tests create several in one process.
//
// It owns the connection's Phase (irc/connection_phase.h) and changes it in one place,
// set_phase_locked; see docs/threads.md for the threads and their locks.
//
// Every thread this object started (connector, receive thread, scheduler) is stopped
// and joined before any member goes away; the members are listed once, in
// construction order, at the end of the class.
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
#include "irc/connection_phase.h"
#include "irc/link_events.h"
#include "irc/scheduler.h"
#include "irc/server_connection.h"
#include "secure/channel_security.h"
#include "secure/key_agreement.h"

namespace velmora {

class ExchangeHooks;

struct AppOptions {
  // One second of the reconnect countdown (tests shorten it).
  std::chrono::milliseconds countdown_step{1000};
  // How long a connected server may take to welcome us before the attempt fails.
  std::chrono::milliseconds welcome_bound{60000};
  // Keep-alive: after this long without a line from the server we ping it, and give
  // the connection up when the answer takes longer than ping_answer_wait.
  std::chrono::milliseconds quiet_before_ping{Keepalive{}.quiet};
  std::chrono::milliseconds ping_answer_wait{Keepalive{}.answer_wait};
};

class AppState : private LinkEvents {
public:
  // `files.settings_file` is read now (and deleted by DESTROYAFTER), log.txt goes in
  // `files.log_folder`, the faces find their data in `files.data_folder`.
  explicit AppState(ProgramFiles files, AppOptions options = {});
  // Everything in one folder, as in a build folder: log.txt and the data in `folder`.
  AppState(const std::string& folder, std::string settings_path, AppOptions options = {});
  ~AppState() override;  // virtual: tests derive from it
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
  // Every timer of the program: a deadline is a Timer armed at a time point (arming it
  // again replaces it); see irc/scheduler.h.
  Scheduler& scheduler() { return scheduler_; }

  // Idle: connects with the settings as they stand. Waiting to reconnect: tries at
  // once. False, and nothing changes, in any other phase.
  bool start_connection();
  // Where the connection stands, and the reason for the last change in words.
  Phase phase() const;
  std::string phase_reason() const;
  // Connecting or registering, or the connector still inside an attempt: an attempt is
  // under way.
  bool attempt_in_progress() const;
  // Connecting: lines that wait in the queue are not to be shown yet.
  bool connecting() const { return phase() == Phase::connecting; }

  // Stops and joins every thread this object started (the destructor does it too). A
  // class that overrides set_status or another hook calls it first in its own
  // destructor: the threads may call the hooks until they are joined.
  void stop();

  // A failed attempt and an unexpected end are tried again after growing pauses. The
  // user's disconnect ends the connection (or stops the waiting) without that;
  // start_connection() then tries at once.
  void request_disconnect();
  bool reconnecting() const { return phase() == Phase::waiting_to_reconnect; }

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
  // set and the channel key is not held yet (chat_ready() tells).
  void send_chat_line(std::string_view text);
  bool chat_ready() const;
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
  // The connection's life (app/start_irc.cpp). *_locked: with life_lock_ held.
  void set_phase_locked(Phase phase, std::string reason);
  void begin_session_locked();
  void run_connector();
  void attempt(const Settings& settings);
  void wait_to_reconnect_locked(const std::string& reason);
  void count_down(std::uint64_t token);
  void finish_connecting_locked();
  void show_in_view(ViewNote note);
  void show_refusal_locked(const std::string& text);
  void link_welcomed(std::uint64_t generation) override;
  void link_ended(std::uint64_t generation, const std::string& reason) override;

  // Members in construction order; destruction runs in reverse, after stop().
  ChangeSignal changes_;  // first in, last out: every member below may raise it
  Scheduler scheduler_;   // every timer; outlives what it calls
  mutable std::mutex settings_lock_;
  Settings settings_;
  ProgramFiles files_;
  AppOptions options_;
  ChannelSecurity security_;
  std::atomic<bool> user_list_dirty_{false};
  std::atomic<bool> offline_shown_{true};
  std::atomic<bool> shutting_down_{false};
  ChatLog chat_log_;
  StatusLine status_;
  std::unique_ptr<ExchangeHooks> hooks_;
  ServerConnection connection_;

  // The connection's life: everything below up to the timers is under life_lock_.
  mutable std::mutex life_lock_;
  std::condition_variable attempt_wanted_signal_;  // the connector sleeps on it
  Phase phase_ = Phase::idle;
  std::string phase_reason_;
  Settings session_;           // the settings of this session's attempts
  bool attempt_wanted_ = false;
  bool stop_ = false;
  bool stopped_ = false;       // stop() ran
  bool destroyed_settings_ = false;  // DESTROYAFTER done for this session
  std::size_t pauses_taken_ = 0;     // since the last welcome
  int countdown_left_ = 0;           // seconds
  std::uint64_t countdown_token_ = 0;
  Timer countdown_timer_{scheduler_};
  Timer welcome_timer_{scheduler_};
  bool connector_busy_ = false;  // inside attempt(), whatever the phase says
  std::thread connector_;      // blocking connects; started on the first start_connection
};

}  // namespace velmora
