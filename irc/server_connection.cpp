#include "irc/server_connection.h"


#include "irc/change_signal.h"
#include "irc/chat_log.h"
#include "irc/receive_loop.h"
#include "irc/secret_mask.h"
#include "irc/terminator.h"

namespace velmora {

ServerConnection::ServerConnection(ChatLog& log, ReceiveHooks* hooks, ChangeSignal* changes)
    : log_(log),
      hooks_(hooks),
      changes_(changes),
      outbound_([this](const std::string& line) {
        log_.log_line("SEND: " + mask_secrets(line));
        socket_.put_line(line);
      }) {}

void ServerConnection::note_change() {
  if (changes_) changes_->raise();
}

ServerConnection::~ServerConnection() {
  if (connected_.load() && !socket_.is_closed()) quit("bye");
  shutdown(kExitDrain);
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

int ServerConnection::open(const std::string& host, int port, const TlsOptions& tls) {
  stop_receive_thread();  // the previous connection's reader, if it still runs
  welcomed_ = false;
  gave_up_ = false;
  set_account("");
  int code = socket_.connect(host, port, tls);
  note_change();  // the controls follow the socket's state
  if (code != 0) {
    connected_ = false;
    return code;
  }
  connected_ = true;
  set_terminator("");
  learn_terminator_from_greeting();
  if (socket_.is_closed() && socket_.length() == 0) {
    connected_ = false;
    return 3;
  }
  return 0;
}

// Servers that wait for the client to register say nothing first, so the login is held
// back at most kGreetingWait; the receive thread learns the terminator later then.
void ServerConnection::learn_terminator_from_greeting() {
  set_terminator(await_terminator(socket_, std::chrono::steady_clock::now() + kGreetingWait,
                                  [] { return false; }));
}

bool ServerConnection::login(const LoginDetails& login) {
  if (!connected_.load()) return false;
  bool ok = socket_.put_line("CAP LS 302");
  if (!login.password.empty()) ok = socket_.put_line("PASS " + login.password) && ok;
  ok = socket_.put_line("USER " + login.username + " " + login.hostname + " " +
                        login.servername + " :" + login.realname) && ok;
  ok = socket_.put_line("NICK " + login.nick) && ok;
  // open() has joined the previous connection's reader; a second login on the same
  // connection keeps the reader that runs.
  if (ok && !receive_thread_.joinable()) {
    receive_thread_ = std::thread([this] { receive_loop(*this); });
  }
  return ok;
}

bool ServerConnection::join(const std::string& channel) {
  return socket_.put_line("JOIN " + channel);
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

void ServerConnection::give_up(const std::string& reason) {
  gave_up_ = true;
  // Past the outbound queue, which would still hold it when the socket closes.
  log_.log_line("SEND: QUIT :" + reason);
  socket_.put_line("QUIT :" + reason);
  socket_.close();  // bounded: the QUIT leaves first
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
  socket_.put_line("QUIT :" + reason);
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
