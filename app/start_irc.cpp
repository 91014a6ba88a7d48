// The connection thread: connect with three attempts and a countdown, log in, wait
// for the welcome (the receive thread joins then), title the window and, when asked,
// delete the settings file.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <utility>

#include "app/app_state.h"
#include "app/connection_plan.h"
#include "trace/trace.h"

namespace velmora {
namespace {

constexpr int kStatusSeconds = 10;
constexpr int kAttempts = 3;
constexpr std::chrono::milliseconds kWelcomePoll{20};
constexpr int kReconnectPauses[] = {5, 10, 20, 40, 60};  // seconds; the last repeats

// "Connection failed! Connection refused by irc.example.net.": the words after the
// status say why, when the socket could tell.
std::string with_reason(const std::string& status, std::string why) {
  if (why.empty()) return status;
  why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
  return status + " " + why + ".";
}

const char* const kCountdown[] = {
    "Connection failed! Reconnecting in 5 seconds...",
    "Connection failed! Reconnecting in 4 seconds...",
    "Connection failed! Reconnecting in 3 seconds...",
    "Connection failed! Reconnecting in 2 seconds...",
    "Connection failed! Reconnecting in 1 second...",
};

}  // namespace

bool AppState::start_connection() {
  std::unique_lock<std::mutex> hold(start_lock_);
  if (stop_) return false;
  if (thread_alive_.load() && !user_disconnect_.load()) {
    if (!reconnecting_.load()) return false;  // connecting, or connected
    reconnect_now_ = true;                    // waiting to reconnect: try at once
    stop_signal_.notify_all();
    return true;
  }
  // The earlier run has ended, or ends now that the user disconnected.
  std::thread previous = std::move(start_thread_);
  hold.unlock();
  if (previous.joinable()) previous.join();
  hold.lock();
  if (stop_ || thread_alive_.load()) return false;
  thread_alive_ = true;
  start_running_ = true;
  user_disconnect_ = false;
  start_thread_ = std::thread([this] {
    run_start_irc();
    start_running_ = false;
    thread_alive_ = false;
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

// A note of our own in the view (the queue bounds itself).
void AppState::show_in_view(ViewNote note) {
  connection_.queue().publish(ReceivedLine(std::move(note)));
  note_change();
}

// A refusal that trying again cannot change (a certificate we do not trust): in the
// status line and the view, and no further attempt.
void AppState::show_refusal(const std::string& text) {
  connecting_ = false;  // the view shows the note
  offline_shown_ = false;
  post_refusal(text);
}

// Logs in and waits for the welcome, bounded; true once welcomed.
bool AppState::log_in_and_await_welcome(const Settings& s) {
  connecting_ = false;
  note_change();  // lines that waited in the queue may be shown now
  set_status("Authenticating user...", kStatusSeconds);
  connection_.set_registration(registration_plan_for(s, current_channel()));
  connection_.channel_tracker().begin(current_nick(), current_channel());  // nobody known yet
  const LoginDetails login{current_nick(), s.realname.empty() ? "*" : s.realname, s.auth_pass,
                           s.username.empty() ? "undefined" : s.username, "*", "*"};
  if (!connection_.login(login)) {
    set_status(with_reason("Connection failed!", connection_.socket().failure_text()),
               kStatusSeconds);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + options_.welcome_bound;
  while (!connection_.welcomed() && !connection_.is_closed() && !stopping()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      set_status("No welcome from " + s.server + " within " +
                     std::to_string(options_.welcome_bound.count() / 1000) + " s",
                 kStatusSeconds);
      connection_.shutdown();
      return false;
    }
    pause_unless_stopping(kWelcomePoll);
  }
  if (connection_.welcomed()) return true;
  if (!stopping() && !connection_.gave_up()) {
    set_status("The server closed the connection before welcoming us", kStatusSeconds);
  }
  return false;
}

// True when connected and welcomed, or when the window is closing (the remaining steps
// then run whatever the attempt gave).
bool AppState::attempt_connect(const Settings& s) {
  for (int attempt = 1;; ++attempt) {
    set_status("Connecting to " + s.server + "...", kStatusSeconds);
    const int code = connection_.open(s.server, s.port, tls_options_for(s));
    if (stopping()) return false;
    if (code == 5) {
      show_refusal(connection_.socket().failure_text());
      return false;
    }
    if (shutting_down_.load()) return true;
    if (!connection_.is_closed()) {
      if (log_in_and_await_welcome(s)) return true;
      if (stopping() || connection_.gave_up()) return false;
      connecting_ = true;
    }
    if (attempt >= kAttempts) {
      set_status(with_reason("Connection failed!", connection_.socket().failure_text()),
                 kStatusSeconds);
      offline_shown_ = false;
      note_change();
      return false;
    }
    countdown();
  }
}

void AppState::run_start_irc() {
  connecting_ = true;
  chat_log_.remove_file();
  Settings s = settings();
  connection_.channel_tracker().begin(s.nick, s.channel);
  security_.begin_connection(s.key);  // an empty passphrase makes the channel key " "
  if (!attempt_connect(s)) return;
  finish_connecting(s);
  start_running_ = false;  // connected: the thread only watches now
  note_change();
  if (s.destroy_after == 1) std::remove(files_.settings_file.c_str());
  trace("End StartIRC");
  supervise(s);
}

void AppState::finish_connecting(const Settings& s) {
  connecting_ = false;
  note_change();
  // What stays in the status line: an unchecked certificate matters more than the account.
  std::string status = unverified_tls_text(s);
  if (status.empty() && !connection_.account().empty()) status = "Logged in as " + connection_.account();
  set_status(status, kStatusSeconds);
}

// Connected and welcomed: stays until the connection ends. An end we did not ask for
// (the server closed, reset or restarted, or stopped answering) is said in words and
// followed by new attempts after growing pauses, until one succeeds or the user stops.
void AppState::supervise(const Settings& s) {
  for (;;) {
    const std::string reason = await_drop();
    if (reason.empty()) return;
    set_status(reason, kStatusSeconds);
    show_in_view({ViewNote::Kind::Disconnected, reason});
    bool back = false;
    for (std::size_t i = 0; !back; ++i) {
      const int pause = kReconnectPauses[std::min(i, std::size(kReconnectPauses) - 1)];
      if (!reconnect_after_pause(s, pause)) return;
      start_running_ = true;
      back = connect_once(s);
      start_running_ = false;
    }
    finish_connecting(s);
  }
}

void AppState::note_heard() {
  last_heard_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

void AppState::connection_dropped() {
  {
    std::lock_guard<std::mutex> hold(start_lock_);
    dropped_ = true;
  }
  stop_signal_.notify_all();
}

void AppState::note_server_error(const std::string& text) {
  std::lock_guard<std::mutex> hold(start_lock_);
  server_error_ = text.substr(0, 200);  // quoted in the status line: a server may say a lot
}

void AppState::request_disconnect() {
  user_disconnect_ = true;
  {
    std::lock_guard<std::mutex> hold(start_lock_);
    reconnect_now_ = false;
  }
  stop_signal_.notify_all();
  if (!reconnecting_.load()) connection_.send_line("quit");
}

// Waits for the connection to end, pinging a server that has been quiet for long; the
// reason in words, or empty when there is nothing to reconnect for.
std::string AppState::await_drop() {
  using Clock = std::chrono::steady_clock;
  const auto heard = [this] { return Clock::time_point(Clock::duration(last_heard_.load())); };
  note_heard();
  bool pinged = false;
  Clock::time_point pinged_at{};
  bool timed_out = false;
  std::unique_lock<std::mutex> hold(start_lock_);
  while (!stop_ && !dropped_ && !user_disconnect_.load() && !connection_.is_closed()) {
    stop_signal_.wait_for(hold, std::min<std::chrono::milliseconds>(options_.ping_answer_wait / 4,
                                                                     std::chrono::seconds(5)));
    const auto now = Clock::now();
    if (pinged && heard() > pinged_at) pinged = false;
    if (!pinged && now - heard() > options_.quiet_before_ping) {
      pinged = true;
      pinged_at = now;
      connection_.send_line("PING :velmora");
    } else if (pinged && now - pinged_at > options_.ping_answer_wait) {
      timed_out = true;
      break;
    }
  }
  dropped_ = false;
  const std::string server_error = std::exchange(server_error_, {});
  const bool stop = stop_;
  hold.unlock();
  if (timed_out) connection_.shutdown();  // joins the receive thread: not under the lock
  if (stop || shutting_down_.load() || user_disconnect_.load() || connection_.gave_up()) return {};
  if (timed_out) return "Disconnected: no answer from the server (ping time-out)";
  if (connection_.socket().output_overflowed()) return "Server is not reading; disconnected";
  if (!server_error.empty()) return "Disconnected by the server: " + server_error;
  return "Disconnected: the server closed the connection";
}

// The countdown before the next attempt; false when the user stopped it or we close.
bool AppState::reconnect_after_pause(const Settings& s, int seconds) {
  (void)s;
  reconnecting_ = true;
  note_change();
  for (int left = seconds; left > 0; --left) {
    set_status("Reconnecting in " + std::to_string(left) +
                   (left == 1 ? " second..." : " seconds..."),
               kStatusSeconds);
    std::unique_lock<std::mutex> hold(start_lock_);
    stop_signal_.wait_for(hold, options_.countdown_step,
                          [this] { return stop_ || reconnect_now_ || user_disconnect_.load(); });
    if (stop_ || reconnect_now_ || user_disconnect_.load()) break;
  }
  {
    std::lock_guard<std::mutex> hold(start_lock_);
    reconnect_now_ = false;
  }
  reconnecting_ = false;
  note_change();
  if (stopping() || shutting_down_.load() || user_disconnect_.load()) {
    set_status("", kStatusSeconds);
    return false;
  }
  return true;
}

// One attempt after a drop: connect, log in, wait for the welcome.
bool AppState::connect_once(const Settings& s) {
  set_status("Connecting to " + s.server + "...", kStatusSeconds);
  connecting_ = true;
  const int code = connection_.open(s.server, s.port, tls_options_for(s));
  if (stopping()) return false;
  if (code == 5) {  // a certificate we do not trust: trying again cannot help
    show_refusal(connection_.socket().failure_text());
    user_disconnect_ = true;
    return false;
  }
  if (connection_.is_closed()) {
    set_status(with_reason("Connection failed!", connection_.socket().failure_text()),
               kStatusSeconds);
    return false;
  }
  return log_in_and_await_welcome(s);
}

}  // namespace velmora
