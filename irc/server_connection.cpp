#include "irc/server_connection.h"

#include "irc/change_signal.h"
#include "irc/chat_log.h"
#include "irc/receive_loop.h"
#include "irc/secret_mask.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point from_ticks(std::int64_t ticks) { return Clock::time_point(Clock::duration(ticks)); }

// A TLS record opens with its type (0x15 alert, 0x16 handshake) and major version 3:
// what a TLS-only port answers a plain login with, when it answers at all.
bool looks_like_tls(std::string_view bytes) {
  return bytes.size() >= 2 && (bytes[0] == '\x15' || bytes[0] == '\x16') && bytes[1] == '\x03';
}

}  // namespace

ServerConnection::ServerConnection(ChatLog& log, ReceiveHooks* hooks, ChangeSignal* changes,
                                   Scheduler* scheduler)
    : own_scheduler_(scheduler ? nullptr : std::make_unique<Scheduler>()),
      scheduler_(scheduler ? *scheduler : *own_scheduler_),
      log_(log),
      hooks_(hooks),
      changes_(changes),
      outbound_(
          [this](const std::string& line) {
            log_.log_line("SEND: " + mask_secrets(line));
            socket_.put_line(line);
          },
          scheduler_),
      keepalive_timer_(scheduler_),
      rejoin_timer_(scheduler_) {
  outbound_.set_open(false);
}

void ServerConnection::note_change() {
  if (changes_) changes_->raise();
}

ServerConnection::~ServerConnection() {
  if (connected_.load() && !socket_.is_closed()) quit("bye");
  shutdown(kExitDrain);
  keepalive_timer_.disarm_and_wait();
  rejoin_timer_.disarm_and_wait();
}

void ServerConnection::shutdown(std::chrono::milliseconds drain_bound) {
  stop_receive_thread(drain_bound);
  socket_.close(drain_bound);
}

void ServerConnection::stop_receive_thread(std::chrono::milliseconds drain_bound) {
  if (!receive_thread_.joinable()) return;
  stopping_ = true;
  if (!socket_.is_closed()) socket_.close(drain_bound);  // wakes a read waiting for a line
  receive_thread_.join();
  stopping_ = false;
}

ConnectResult ServerConnection::open(const std::string& host, int port, const TlsOptions& tls) {
  stop_receive_thread();  // the previous connection's reader, if it still runs
  outbound_.set_open(false);
  outbound_.clear_urgent();
  generation_.fetch_add(1);
  welcomed_ = false;
  gave_up_ = false;
  {
    std::lock_guard<std::mutex> hold(state_lock_);
    account_.clear();
    server_error_.clear();
    cut_reason_.clear();
    tls_greeting_ = false;
    got_bytes_ = false;
    pinged_at_ = {};
    terminator_.clear();
  }
  const int code = socket_.connect(host, port, tls);
  connected_ = code == 0;
  note_change();  // the controls follow the socket's state
  return code == 0 ? ConnectResult::connected : socket_.last_result();
}

bool ServerConnection::login(const LoginDetails& login) {
  if (!connected_.load() || socket_.is_closed()) return false;
  tracker_.begin(login.nick, registration().channel);  // nobody known there yet
  send_urgent("CAP LS 302");
  if (!login.password.empty()) send_urgent("PASS " + login.password);
  send_urgent("USER " + login.username + " " + login.hostname + " " + login.servername + " :" +
              login.realname);
  send_urgent("NICK " + login.nick);
  // open() has joined the previous connection's reader; a second login on the same
  // connection keeps the reader that runs.
  if (!receive_thread_.joinable()) {
    const std::uint64_t generation = generation_.load();
    receive_thread_ = std::thread([this, generation] { run_receive_thread(generation); });
  }
  outbound_.set_open(true);  // the login first, then whatever waited
  return true;
}

void ServerConnection::run_receive_thread(std::uint64_t generation) {
  note_heard();
  keepalive_timer_.arm_in(keepalive().quiet, [this, generation] { check_keepalive(generation); });
  receive_loop(*this);
  keepalive_timer_.disarm();
  rejoin_timer_.disarm();
  outbound_.set_open(false);
  const std::string reason = stopping_.load() ? std::string() : end_reason();
  if (events_) events_->link_ended(generation, reason);
}

bool ServerConnection::join(const std::string& channel) {
  const RegistrationPlan plan = registration();
  const bool keyed = !plan.channel_key.empty() && channel == plan.channel;
  outbound_.push(SendPriority::User, "JOIN " + channel + (keyed ? " " + plan.channel_key : ""));
  return true;
}

void ServerConnection::rejoin_later(const std::string& channel, Clock::duration delay) {
  const std::uint64_t generation = generation_.load();
  rejoin_timer_.arm_in(delay, [this, channel, generation] {
    if (generation_.load() == generation && !socket_.is_closed()) join(channel);
  });
}

void ServerConnection::set_registration(RegistrationPlan plan) {
  std::lock_guard<std::mutex> hold(state_lock_);
  plan_ = std::move(plan);
}

RegistrationPlan ServerConnection::registration() const {
  std::lock_guard<std::mutex> hold(state_lock_);
  return plan_;
}

std::string ServerConnection::account() const {
  std::lock_guard<std::mutex> hold(state_lock_);
  return account_;
}

void ServerConnection::set_account(const std::string& account) {
  std::lock_guard<std::mutex> hold(state_lock_);
  account_ = account;
}

void ServerConnection::mark_welcomed() {
  welcomed_ = true;
  if (events_) events_->link_welcomed(generation_.load());
}

void ServerConnection::give_up(const std::string& reason) {
  gave_up_ = true;
  send_urgent("QUIT :" + reason);
  outbound_.flush_urgent(kQuitWait);
  socket_.close();  // bounded: the QUIT leaves first
}

void ServerConnection::cut(const std::string& reason) {
  {
    std::lock_guard<std::mutex> hold(state_lock_);
    cut_reason_ = reason;
  }
  socket_.close(std::chrono::milliseconds(0));
}

void ServerConnection::note_server_error(const std::string& text) {
  std::lock_guard<std::mutex> hold(state_lock_);
  server_error_ = text.substr(0, 200);  // quoted in the status line: a server may say a lot
}

void ServerConnection::note_heard() {
  last_heard_ = Clock::now().time_since_epoch().count();
}

void ServerConnection::note_first_bytes(std::string_view bytes) {
  std::lock_guard<std::mutex> hold(state_lock_);
  tls_greeting_ = looks_like_tls(bytes);
  got_bytes_ = !bytes.empty();
}

// How the connection ended, in words; empty when we ended it ourselves.
std::string ServerConnection::end_reason() const {
  if (gave_up_.load()) return {};
  std::lock_guard<std::mutex> hold(state_lock_);
  if (!cut_reason_.empty()) return cut_reason_;
  if (socket_.output_overflowed()) return "Server is not reading; disconnected";
  if (!server_error_.empty()) return "Disconnected by the server: " + server_error_;
  if (welcomed_.load()) return "Disconnected: the server closed the connection";
  std::string text = "The server closed the connection before welcoming us";
  // A TLS-only port hangs up on a plain login, silently or with a TLS alert.
  if (!socket_.encrypted() && (tls_greeting_ || !got_bytes_)) {
    text += "; it may expect TLS (PORT=6697 or TLS=1)";
  }
  return text;
}

void ServerConnection::set_keepalive(Keepalive keepalive) {
  std::lock_guard<std::mutex> hold(state_lock_);
  keepalive_ = keepalive;
}

Keepalive ServerConnection::keepalive() const {
  std::lock_guard<std::mutex> hold(state_lock_);
  return keepalive_;
}

// On the scheduler: a quiet server is pinged; one that stays quiet past the answer wait
// is cut, and the link events hear why.
void ServerConnection::check_keepalive(std::uint64_t generation) {
  if (generation_.load() != generation || socket_.is_closed()) return;
  const Keepalive k = keepalive();
  const auto now = Clock::now();
  const auto heard = from_ticks(last_heard_.load());
  Clock::time_point pinged_at;
  {
    std::lock_guard<std::mutex> hold(state_lock_);
    if (pinged_at_ != Clock::time_point{} && heard >= pinged_at_) pinged_at_ = {};
    pinged_at = pinged_at_;
  }
  const auto again = [&](Clock::time_point when) {
    keepalive_timer_.arm(when, [this, generation] { check_keepalive(generation); });
  };
  if (pinged_at == Clock::time_point{}) {
    if (now - heard < k.quiet) return again(heard + k.quiet);
    {
      std::lock_guard<std::mutex> hold(state_lock_);
      pinged_at_ = now;
    }
    send_urgent("PING :velmora");
    return again(now + k.answer_wait);
  }
  if (now - pinged_at < k.answer_wait) return again(pinged_at + k.answer_wait);
  cut("Disconnected: no answer from the server (ping time-out)");
}

void ServerConnection::send_message(const std::string& command, const std::string& target,
                                    const std::string& text, SendPriority priority) {
  send_line(command + " " + target + " :" + text, priority);
}

void ServerConnection::send_line(const std::string& line, SendPriority priority) {
  outbound_.push(priority, line);
}

bool ServerConnection::quit(const std::string& reason) {
  if (!connected_.load()) return false;
  send_urgent("QUIT :" + reason);
  outbound_.flush_urgent(kQuitWait);
  // A server that never closes must not keep us here.
  socket_.wait_closed(kQuitWait);
  return true;
}

std::string ServerConnection::terminator() const {
  std::lock_guard<std::mutex> hold(state_lock_);
  return terminator_;
}

void ServerConnection::set_terminator(const std::string& terminator) {
  std::lock_guard<std::mutex> hold(state_lock_);
  terminator_ = terminator;
}

}  // namespace velmora
