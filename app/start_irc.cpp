// The connection thread: connect with three attempts and a countdown, log in, join,
// title the window and, when asked, delete the settings file.

#include <cstdio>
#include <iostream>

#include "app/app_state.h"

namespace velmora {
namespace {

constexpr int kStatusSeconds = 10;
constexpr int kAttempts = 3;

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

// True when connected, or when the window is closing (the remaining steps then run
// whatever the attempt gave).
bool AppState::attempt_connect(const Settings& s) {
  for (int attempt = 1;; ++attempt) {
    set_status("Connecting to " + s.server + "...", kStatusSeconds);
    connection.open(s.server, s.port);
    {
      std::lock_guard<std::mutex> hold(start_lock_);
      if (stop_) return false;
    }
    if (!connection.is_closed() || shutting_down.load()) return true;
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
  note_change();  // lines that waited in the queue may be shown now
  set_status("Authenticating user...", kStatusSeconds);
  connection.login(current_nick(), "*", s.auth_pass, "undefined", "*", "*");
  set_status("Joining channel...", kStatusSeconds);
  connection.join(current_channel());
  post_title(current_channel() + ", " + s.server + " - Velmora");
  set_status("", kStatusSeconds);
  if (s.destroy_after == 1) std::remove(files_.settings_file.c_str());
  std::cout << "End StartIRC" << std::endl;
}

}  // namespace velmora
