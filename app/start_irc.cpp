// The connection's life: connect, log in, wait for the welcome, stay online, and after
// a failed attempt or an end we did not ask for, wait a growing pause and try again.
// One phase says where it stands (irc/connection_phase.h); set_phase_locked is the
// only place that changes it. The connector thread does the blocking connects; the
// receive thread reports the welcome and the end; the scheduler runs the countdown and
// the welcome bound.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "app/app_state.h"
#include "app/connection_plan.h"
#include "trace/trace.h"

namespace velmora {
namespace {

constexpr int kStatusSeconds = 10;
constexpr int kReconnectPauses[] = {5, 10, 20, 40, 60};  // seconds; the last repeats
// After our QUIT the server closes; one that does not is cut after this long.
constexpr std::chrono::seconds kClosingBound{3};

// "Connection failed! Connection refused by irc.example.net.": the words after the
// status say why, when the socket could tell.
std::string with_reason(const std::string& status, std::string why) {
  if (why.empty()) return status;
  why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
  return status + " " + why + ".";
}

std::string countdown_text(int seconds) {
  return "Reconnecting in " + std::to_string(seconds) + (seconds == 1 ? " second..." : " seconds...");
}

}  // namespace

Phase AppState::phase() const {
  std::lock_guard<std::mutex> hold(life_lock_);
  return phase_;
}

std::string AppState::phase_reason() const {
  std::lock_guard<std::mutex> hold(life_lock_);
  return phase_reason_;
}

bool AppState::attempt_in_progress() const {
  std::lock_guard<std::mutex> hold(life_lock_);
  // The connector may still be finishing an attempt the user already stopped.
  return connector_busy_ || phase_ == Phase::connecting || phase_ == Phase::registering;
}

// The one place the phase changes.
void AppState::set_phase_locked(Phase phase, std::string reason) {
  trace(std::string("phase: ") + phase_name(phase_) + " -> " + phase_name(phase) + " (" + reason + ")");
  phase_ = phase;
  phase_reason_ = std::move(reason);
  // The window shows the offline state again after each failure or end.
  if (phase == Phase::idle || phase == Phase::waiting_to_reconnect) offline_shown_ = false;
  note_change();
}

bool AppState::start_connection() {
  std::unique_lock<std::mutex> hold(life_lock_);
  if (stop_) return false;
  if (phase_ == Phase::idle) {
    begin_session_locked();
  } else if (phase_ == Phase::waiting_to_reconnect) {
    countdown_timer_.disarm();
    ++countdown_token_;
  } else {
    return false;  // connecting, connected, or closing
  }
  set_phase_locked(Phase::connecting, "Connecting to " + session_.server);
  attempt_wanted_ = true;
  if (!connector_.joinable()) connector_ = std::thread([this] { run_connector(); });
  hold.unlock();
  attempt_wanted_signal_.notify_all();
  return true;
}

// The user's Connect: the settings as they stand now, a new log, the first pause next.
void AppState::begin_session_locked() {
  session_ = settings();
  chat_log_.remove_file();
  connection_.channel_tracker().begin(session_.nick, session_.channel);
  security_.begin_connection(session_.key);  // an empty passphrase makes the channel key " "
  pauses_taken_ = 0;
  destroyed_settings_ = false;
}

// The connector thread: sleeps until an attempt is wanted, makes it, sleeps again.
void AppState::run_connector() {
  std::unique_lock<std::mutex> hold(life_lock_);
  for (;;) {
    attempt_wanted_signal_.wait(hold, [this] { return stop_ || attempt_wanted_; });
    if (stop_) return;
    attempt_wanted_ = false;
    connector_busy_ = true;
    const Settings s = session_;
    hold.unlock();
    attempt(s);
    hold.lock();
    connector_busy_ = false;
  }
}

// One attempt: connect, then log in; the receive thread reports what follows.
void AppState::attempt(const Settings& s) {
  set_status("Connecting to " + s.server + "...", kStatusSeconds);
  const ConnectResult result = connection_.open(s.server, s.port, tls_options_for(s));
  std::unique_lock<std::mutex> hold(life_lock_);
  if (stop_ || phase_ != Phase::connecting) {  // the user stopped it meanwhile
    hold.unlock();
    connection_.shutdown(std::chrono::milliseconds(0));
    return;
  }
  if (result != ConnectResult::connected) {
    const std::string why = connection_.failure_text();
    if (!worth_retrying(result)) return show_refusal_locked(why);
    return wait_to_reconnect_locked(with_reason("Connection failed!", why));
  }
  set_phase_locked(Phase::registering, "Logging in");
  RegistrationPlan plan = registration_plan_for(s, current_channel());
  plan.encrypted = connection_.encrypted();
  const std::uint64_t generation = connection_.generation();
  const auto bound = options_.welcome_bound;
  welcome_timer_.arm_in(bound, [this, generation, bound, server = s.server] {
    std::lock_guard<std::mutex> hold(life_lock_);
    if (phase_ != Phase::registering || connection_.generation() != generation) return;
    connection_.cut("No welcome from " + server + " within " +
                    std::to_string(std::chrono::duration_cast<std::chrono::seconds>(bound).count()) +
                    " s");
  });
  hold.unlock();
  set_status("Authenticating user...", kStatusSeconds);
  connection_.set_registration(std::move(plan));
  const LoginDetails login{current_nick(), s.realname.empty() ? "*" : s.realname, s.auth_pass,
                           s.username.empty() ? "undefined" : s.username, "*", "*"};
  // A connection that closed already ends without a receive thread: said here.
  if (!connection_.login(login)) {
    hold.lock();
    welcome_timer_.disarm();
    if (!stop_ && phase_ == Phase::registering) {
      wait_to_reconnect_locked("The server closed the connection before welcoming us");
    }
  }
}

// From the receive thread. Whoever sees the phase online finds the rest done.
void AppState::link_welcomed(std::uint64_t generation) {
  std::lock_guard<std::mutex> hold(life_lock_);
  if (phase_ != Phase::registering || connection_.generation() != generation) return;
  welcome_timer_.disarm();
  pauses_taken_ = 0;
  finish_connecting_locked();
  set_phase_locked(Phase::online, "Welcomed by " + session_.server);
}

void AppState::finish_connecting_locked() {
  // What stays in the status line: an unchecked certificate matters more than the account.
  std::string status = unverified_tls_text(session_);
  if (status.empty() && !connection_.account().empty()) status = "Logged in as " + connection_.account();
  set_status(status, kStatusSeconds);
  if (session_.destroy_after == 1 && !std::exchange(destroyed_settings_, true)) {
    std::remove(files_.settings_file.c_str());
  }
}

// From the receive thread: the connection `generation` ended, for `reason`.
void AppState::link_ended(std::uint64_t generation, const std::string& reason) {
  std::lock_guard<std::mutex> hold(life_lock_);
  // A reader of an earlier connection, stopped by the next attempt, has nothing to say
  // about this one: hearing it tore down every good connection after one refused.
  if (connection_.generation() != generation) return;
  welcome_timer_.disarm();
  if (phase_ != Phase::registering && phase_ != Phase::online) {
    if (phase_ == Phase::closing) {
      countdown_timer_.disarm();
      set_phase_locked(Phase::idle, "Disconnected by the user");
    }
    return;
  }
  if (stop_ || shutting_down_.load()) return set_phase_locked(Phase::idle, "Closing");
  if (reason.empty()) return set_phase_locked(Phase::idle, "The connection was given up");
  wait_to_reconnect_locked(reason);
}

// Says why in the status line and the view, and counts down to the next attempt.
void AppState::wait_to_reconnect_locked(const std::string& reason) {
  set_phase_locked(Phase::waiting_to_reconnect, reason);
  set_status(reason, kStatusSeconds);
  show_in_view({ViewNote::Kind::Disconnected, reason});
  const std::size_t last = std::size(kReconnectPauses) - 1;
  countdown_left_ = kReconnectPauses[std::min(pauses_taken_++, last)];
  set_status(countdown_text(countdown_left_), kStatusSeconds);
  const std::uint64_t token = ++countdown_token_;
  countdown_timer_.arm_in(options_.countdown_step, [this, token] { count_down(token); });
}

// On the scheduler, once a countdown second.
void AppState::count_down(std::uint64_t token) {
  std::unique_lock<std::mutex> hold(life_lock_);
  if (token != countdown_token_ || phase_ != Phase::waiting_to_reconnect || stop_) return;
  if (--countdown_left_ > 0) {
    set_status(countdown_text(countdown_left_), kStatusSeconds);
    countdown_timer_.arm_in(options_.countdown_step, [this, token] { count_down(token); });
    return;
  }
  set_phase_locked(Phase::connecting, "Connecting to " + session_.server);
  attempt_wanted_ = true;
  hold.unlock();
  attempt_wanted_signal_.notify_all();
}

void AppState::request_disconnect() {
  std::lock_guard<std::mutex> hold(life_lock_);
  switch (phase_) {
    case Phase::connecting:
    case Phase::waiting_to_reconnect:
      countdown_timer_.disarm();
      ++countdown_token_;
      set_status("", kStatusSeconds);
      return set_phase_locked(Phase::idle, "Disconnected by the user");
    case Phase::registering:
    case Phase::online: {
      welcome_timer_.disarm();
      set_phase_locked(Phase::closing, "Disconnected by the user");
      connection_.send_line("quit", SendPriority::Urgent);
      const std::uint64_t generation = connection_.generation();
      countdown_timer_.arm_in(kClosingBound, [this, generation] {
        if (connection_.generation() == generation) connection_.cut("");
      });
      return;
    }
    case Phase::idle:
    case Phase::closing:
      return;
  }
}

// A note of our own in the view (the queue bounds itself).
void AppState::show_in_view(ViewNote note) {
  connection_.queue().publish(ReceivedLine(std::move(note)));
  note_change();
}

// A refusal that trying again cannot change (a certificate we do not trust): in the
// status line until the next connection, in the view, and no further attempt.
void AppState::show_refusal_locked(const std::string& text) {
  set_phase_locked(Phase::idle, text);
  post_refusal(text);
}

}  // namespace velmora
