// The connection thread: connect with three attempts and a countdown, log in, wait
// for the welcome (the receive thread joins then), title the window and, when asked,
// delete the settings file.

#include <cstdio>
#include <iostream>

#include "app/app_state.h"
#include "app/connection_plan.h"

namespace velmora {
namespace {

constexpr int kStatusSeconds = 10;
constexpr int kAttempts = 3;
constexpr int kRefusalSeconds = 60;
constexpr std::chrono::milliseconds kWelcomePoll{20};

const char* const kCountdown[] = {
    "Connection failed! Reconnecting in 5 seconds...",
    "Connection failed! Reconnecting in 4 seconds...",
    "Connection failed! Reconnecting in 3 seconds...",
    "Connection failed! Reconnecting in 2 seconds...",
    "Connection failed! Reconnecting in 1 second...",
};

}  // namespace

bool AppState::start_connection() {
  std::lock_guard<std::mutex> hold(start_lock_);
  if (stop_ || start_running_.load()) return false;
  if (start_thread_.joinable()) start_thread_.join();  // a finished earlier run
  start_running_ = true;
  start_thread_ = std::thread([this] {
    run_start_irc();
    start_running_ = false;
    note_change();  // a face waiting for this thread to give up looks again
  });
  return true;
}

// Waits, but wakes at once when this object is being destroyed.
void AppState::pause_unless_stopping(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> hold(start_lock_);
  stop_signal_.wait_for(hold, duration, [this] { return stop_; });
}

void AppState::countdown() {
  for (const char* text : kCountdown) {
    set_status(text, kStatusSeconds);
    pause_unless_stopping(options_.countdown_step);
  }
}

bool AppState::stopping() {
  std::lock_guard<std::mutex> hold(start_lock_);
  return stop_;
}

// A refusal that trying again cannot change (a certificate we do not trust): in the
// status line and the view, and no further attempt.
void AppState::show_refusal(const std::string& text) {
  set_status(text, kRefusalSeconds);
  connecting = false;  // the view shows the line
  connection.queue().publish("ERROR :" + text);  // the queue bounds itself
  offline_shown = false;
  note_change();
}

// Logs in and waits for the welcome, bounded; true once welcomed.
bool AppState::log_in_and_await_welcome(const Settings& s) {
  connecting = false;
  note_change();  // lines that waited in the queue may be shown now
  set_status("Authenticating user...", kStatusSeconds);
  connection.set_registration(registration_plan_for(s, current_channel()));
  connection.login(current_nick(), "*", s.auth_pass, "undefined", "*", "*");
  const auto deadline = std::chrono::steady_clock::now() + options_.welcome_bound;
  while (!connection.welcomed() && !connection.is_closed() && !stopping()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      set_status("No welcome from " + s.server + " within " +
                     std::to_string(options_.welcome_bound.count() / 1000) + " s",
                 kStatusSeconds);
      connection.shutdown();
      return false;
    }
    pause_unless_stopping(kWelcomePoll);
  }
  if (connection.welcomed()) return true;
  if (!stopping() && !connection.gave_up()) {
    set_status("The server closed the connection before welcoming us", kStatusSeconds);
  }
  return false;
}

// True when connected and welcomed, or when the window is closing (the remaining steps
// then run whatever the attempt gave).
bool AppState::attempt_connect(const Settings& s) {
  for (int attempt = 1;; ++attempt) {
    set_status("Connecting to " + s.server + "...", kStatusSeconds);
    const int code = connection.open(s.server, s.port, tls_options_for(s));
    if (stopping()) return false;
    if (code == 5) {
      show_refusal(connection.socket().failure_text());
      return false;
    }
    if (shutting_down.load()) return true;
    if (!connection.is_closed()) {
      if (log_in_and_await_welcome(s)) return true;
      if (stopping() || connection.gave_up()) return false;
      connecting = true;
    }
    if (attempt >= kAttempts) {
      set_status("Connection failed!", kStatusSeconds);
      offline_shown = false;
      note_change();
      return false;
    }
    countdown();
  }
}

void AppState::run_start_irc() {
  connecting = true;
  chat_log_.remove_file();
  Settings s = settings();
  set_current_nick(s.nick);
  set_current_channel(s.channel);
  security.begin_connection(s.key);  // an empty passphrase makes the channel key " "
  if (!attempt_connect(s)) return;
  connecting = false;
  note_change();
  post_title(current_channel() + ", " + s.server + " - Velmora");
  // What stays in the status line: an unchecked certificate matters more than the account.
  std::string status = unverified_tls_text(s);
  if (status.empty() && !connection.account().empty()) status = "Logged in as " + connection.account();
  set_status(status, kStatusSeconds);
  if (s.destroy_after == 1) std::remove(files_.settings_file.c_str());
  std::cout << "End StartIRC" << std::endl;
}

}  // namespace velmora
