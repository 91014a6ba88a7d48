#include "irc/receive_loop.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <string_view>

#include "irc/channel_members.h"
#include "irc/chat_log.h"
#include "irc/receive_hooks.h"
#include "irc/server_connection.h"
#include "irc/terminator.h"

namespace velmora {
namespace {

// Lines handled between two publications to the window (and two log writes).
constexpr std::size_t kBurstLines = 256;

std::tm local_now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

// A line cut by a close arrives without the terminator; only a real one is removed.
std::string without_terminator(std::string line, const std::string& terminator) {
  if (line.size() >= terminator.size() &&
      line.compare(line.size() - terminator.size(), terminator.size(), terminator) == 0) {
    line.resize(line.size() - terminator.size());
  }
  return line;
}

}  // namespace

std::string strip_mode_prefix(const std::string& name) {
  if (!name.empty() && (name[0] == '@' || name[0] == '+' || name[0] == '-')) {
    return name.substr(1);
  }
  return name;
}

ReceiveLoop::ReceiveLoop(ServerConnection& connection)
    : connection_(connection), registration_(connection.registration()) {}

void ReceiveLoop::run() {
  ReceiveHooks* hooks = connection_.hooks();
  if (hooks) hooks->connection_started();
  if (connection_.terminator().empty()) learn_terminator();
  const std::string terminator = connection_.terminator();
  // Never waits for the window: PING and the key exchange are answered whatever the
  // view's backlog (the queue bounds its memory itself).
  while (!connection_.stopping()) {
    if (!take_burst(terminator)) break;  // closed with nothing left
    for (std::string& line : burst_) handle_in_burst(without_terminator(std::move(line), terminator));
    finish_burst();
  }
  if (hooks) hooks->connection_ended();
  connection_.note_change();  // the window shows the closed connection
}

// The server did not speak before the login: learn the terminator from its first
// data now. A server whose first 512 bytes hold none is taken to use CR LF.
void ReceiveLoop::learn_terminator() {
  ChatSocket& socket = connection_.socket();
  const std::string terminator =
      await_terminator(socket, std::chrono::steady_clock::time_point::max(),
                       [this] { return connection_.stopping(); });
  connection_.set_terminator(terminator.empty() ? "\r\n" : terminator);
  char first[2];
  const int got = socket.get_data(first, 2, true) == 2 ? 2 : socket.get_data(first, 1, true);
  connection_.note_first_bytes(std::string_view(first, static_cast<std::size_t>(got)));
}

// What waits in the socket, up to kBurstLines lines; when nothing does, one line as
// soon as it comes. Everything held is already in the file then (finish_burst), so
// log.txt is complete while this thread sleeps.
bool ReceiveLoop::take_burst(const std::string& terminator) {
  ChatSocket& socket = connection_.socket();
  burst_.clear();
  if (socket.take_lines(terminator, burst_, kBurstLines) > 0) {
    connection_.note_heard();
    return true;
  }
  std::string line = socket.get_until(terminator);
  if (line.empty()) return false;
  connection_.note_heard();
  burst_.push_back(std::move(line));
  return true;
}

void ReceiveLoop::handle_line(const std::string& raw) {
  handle_in_burst(raw);
  finish_burst();
}

// The one parse of the line: the rules here and the window read the same message.
void ReceiveLoop::handle_in_burst(std::string raw) {
  connection_.chat_log().hold_line(raw);
  IrcMessage message = parse_line(raw);
  // Tags are read by nobody: the automatic replies and the window see the line without them.
  if (raw.starts_with('@')) raw = std::string(without_tags(raw));
  bool ask_names = false;
  const MemberEvent event =
      connection_.channel_tracker().follow(message, std::chrono::steady_clock::now(), ask_names);
  if (ask_names) request_names();
  bool consumed = false;
  if (ReceiveHooks* hooks = connection_.hooks()) {
    if (event.kind != MemberEvent::Kind::None) hooks->member_event(event);
    consumed = hooks->handle_message(message);
  }
  if (dispatch(message, raw)) consumed = true;
  if (consumed || raw.empty()) return;
  ReceivedLine line(std::move(message), std::move(raw));
  if (ReceiveHooks* hooks = connection_.hooks(); hooks && !hooks->prepare_for_window(line)) return;
  shown_.push_back(std::move(line));
}

// A line reaches the window only once it is in the file. One raise for the burst:
// consumed lines change things too (the key holders, the user list).
void ReceiveLoop::finish_burst() {
  connection_.chat_log().flush();
  connection_.queue().publish_all(shown_);
  shown_.clear();
  connection_.note_change();
}

// The receive thread's own rules; true when the line is not to be shown.
bool ReceiveLoop::dispatch(const IrcMessage& message, const std::string& raw) {
  if (register_step(message)) return true;
  if (message.command == "ERROR") connection_.note_server_error(message.text());
  follow_channel(message);
  // Names of another channel (a NAMES the user typed) are not our members.
  if (message.command == "353") {
    if (connection_.channel_tracker().is_our_channel(message.param(2))) collect_names(message.text());
    return true;
  }
  if (message.command == "366") {
    if (connection_.channel_tracker().is_our_channel(message.param(1))) store_names();
    return true;
  }
  // Only a PING or a query in a PRIVMSG may be answered; the clock is read for those.
  const bool query = message.command == "PRIVMSG" && message.text().starts_with('\x01');
  if (message.command != "PING" && !query) return false;
  AutoReply reply = automatic_reply(message, raw, local_now());
  if (reply.kind == ReplyKind::None) return false;
  // PONG ahead of everything, unpaced: a server waits for it. Answers to queries are
  // paced like the user's lines.
  if (reply.kind == ReplyKind::ServerPing) {
    connection_.send_line(reply.line, SendPriority::Urgent);
  } else if (limiter_.allow(QueryLimiter::Clock::now())) {
    connection_.send_line(reply.line);
  }
  return true;
}

// Our channel (irc/channel_members.h keeps it, and our nick): an invitation to it is
// taken, a kick from it is answered with one rejoin.
void ReceiveLoop::follow_channel(const IrcMessage& m) {
  if (m.command != "INVITE" && m.command != "KICK") return;
  const ChannelTracker& where = connection_.channel_tracker();
  const std::string channel = where.channel();
  const std::string own = where.nick();
  if (channel.empty() || own.empty()) return;
  if (m.command == "INVITE" && m.param(0) == own && same_channel(m.param(1), channel)) {
    (void)connection_.join(channel);
  } else if (m.command == "KICK" && same_channel(m.param(0), channel) && m.param(1) == own) {
    if (auto delay = rejoin_.kicked(RejoinAfterKick::Clock::now())) {
      connection_.rejoin_later(channel, *delay);
    }
  }
}

// Capability negotiation, account login and the JOIN on the welcome; true when the
// line was registration's alone.
bool ReceiveLoop::register_step(const IrcMessage& message) {
  RegistrationStep step = registration_.handle(message);
  for (const std::string& line : step.send) connection_.send_line(line, SendPriority::Urgent);
  if (!step.account.empty()) connection_.set_account(step.account);
  // A JOIN that cannot be written finds the socket closed, which ends this loop.
  if (step.join) (void)connection_.join(connection_.registration().channel);
  if (!step.status.empty()) {
    if (ReceiveHooks* hooks = connection_.hooks()) hooks->registration_status(step.status, step.refusal);
  }
  // After the status: the connection thread sets its own once it sees the welcome.
  if (step.welcomed) connection_.mark_welcomed();
  if (step.give_up) connection_.give_up("account login failed");
  return step.consumed;
}

// Words split at single spaces: two spaces in a row give an empty entry. A word too
// long to be a nick is dropped before it is copied.
void ReceiveLoop::collect_names(const std::string& text) {
  const std::string_view names(text);
  std::size_t start = 0;
  while (names_collect_.size() < kMaxNames) {
    const std::size_t space = names.find(' ', start);
    const std::string_view word =
        names.substr(start, space == std::string_view::npos ? names.npos : space - start);
    const std::size_t cost = word.size() + sizeof(std::string);
    if (word.size() <= kMaxNickBytes + 1) {  // + 1: the mode prefix
      if (names_bytes_ + cost > kMaxNamesBytes) break;
      names_collect_.emplace_back(word);
      names_bytes_ += cost;
    }
    if (space == std::string_view::npos) break;
    start = space + 1;
  }
}

void ReceiveLoop::store_names() {
  std::vector<std::string> users;
  users.reserve(names_collect_.size());
  for (const std::string& name : names_collect_) {
    std::string nick = strip_mode_prefix(name);
    if (nick.size() <= kMaxNickBytes) users.push_back(std::move(nick));
  }
  names_collect_.clear();
  names_bytes_ = 0;
  if (connection_.channel_tracker().names(users, std::chrono::steady_clock::now())) request_names();
  if (ReceiveHooks* hooks = connection_.hooks()) hooks->names_stored(users);
}

// The list is kept from JOIN, PART, KICK, QUIT and NICK anyway: a names request only
// corrects it, so it waits behind everything else.
void ReceiveLoop::request_names() {
  connection_.send_line("names " + connection_.channel_tracker().channel(), SendPriority::Background);
}

void receive_loop(ServerConnection& connection) { ReceiveLoop(connection).run(); }

}  // namespace velmora
