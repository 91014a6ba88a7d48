#include "app/exchange_hooks.h"

#include <string_view>

#include "app/app_state.h"

namespace velmora {
namespace {
constexpr int kRegistrationStatusSeconds = 10;

// "\x01ACTION " in any case: a CTCP action's frame.
bool opens_action(std::string_view text) {
  static constexpr std::string_view kFrame = "\x01" "action ";
  if (text.size() < kFrame.size()) return false;
  for (std::size_t i = 0; i < kFrame.size(); ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) != kFrame[i]) return false;
  }
  return true;
}

// A chat text as the window shows it: "@CRYPTO ..." opened under the channel key, and a
// sealed action's words opened inside their CTCP frame; any other text as it is.
std::string opened_chat_text(const ChannelSecurity& security, const std::string& text) {
  std::string opened = security.open_chat_text(text);
  if (!opens_action(opened)) return opened;
  constexpr std::size_t kFrameSize = 8;  // "\x01ACTION "
  std::string body = opened.substr(kFrameSize);
  const bool closed = !body.empty() && body.back() == '\x01';
  if (closed) body.pop_back();
  return opened.substr(0, kFrameSize) + security.open_chat_text(body) + (closed ? "\x01" : "");
}

}  // namespace

ExchangeHooks::~ExchangeHooks() { stop_timer(); }

void ExchangeHooks::connection_started() {
  stop_timer();
  std::lock_guard hold(lock_);
  exchange_ = std::make_unique<KeyExchange>(state_.security(), state_.peer_keys(), state_);
  names_refresh_ = {};
  timer_stop_ = false;
  timer_ = std::thread([this] { run_timer(); });
}

bool ExchangeHooks::handle_message(const IrcMessage& message) {
  std::lock_guard hold(lock_);
  if (!exchange_) return false;
  follow_membership(message);
  if (names_refresh_.due(KeyExchange::Clock::now())) request_names();
  const bool consumed = exchange_->handle_message(message.nick, message.command, message.text());
  timer_wake_.notify_one();  // the rules may have set a new deadline
  return consumed;
}

// Our own nick first, so the rules see the name the server gave us.
void ExchangeHooks::follow_membership(const IrcMessage& m) {
  const std::string own = state_.current_nick();
  if (m.command == "NICK" && m.nick == own && !m.text().empty()) {
    state_.set_current_nick(m.text());
  }
  // The welcome names us as the server has us, an alternative nick perhaps.
  if (m.command == "001" && !m.param(0).empty() && m.param(0) != "*") {
    state_.set_current_nick(m.param(0));
  }
  if (m.command == "470" && !m.param(2).empty()) follow_forward(m.param(2));
  std::vector<std::string> members = state_.connection().users();
  if (!apply_membership(members, m, state_.current_channel(), own)) return;
  store_members(members);
  // The title names the channel only while we are in it.
  const bool about_us = m.command == "KICK" ? m.param(1) == own : m.nick == own;
  if (about_us && m.command == "JOIN") {
    state_.post_title(state_.current_channel() + ", " + state_.settings().server + " - Velmora");
  } else if (about_us && (m.command == "PART" || m.command == "KICK")) {
    state_.post_title("Velmora");
  }
  // The server sends the list itself when we join; when we leave there is none to ask.
  if (m.nick == own && m.command != "NICK") return;
  if (names_refresh_.changed(KeyExchange::Clock::now())) request_names();
}

// The server put us in another channel (470): the rules, the member list and the
// title follow it there.
void ExchangeHooks::follow_forward(const std::string& channel) {
  state_.set_current_channel(channel);
  state_.post_title(channel + ", " + state_.settings().server + " - Velmora");
}

void ExchangeHooks::store_members(const std::vector<std::string>& members) {
  state_.connection().store_users(members);
  state_.mark_user_list_dirty();
}

void ExchangeHooks::request_names() {
  state_.connection().send_line("names " + state_.current_channel(), SendPriority::Background);
}

// Chat reaches the window only while we hold the channel key, and opened: the view
// shows words, never hex.
bool ExchangeHooks::prepare_for_window(IrcMessage& message) {
  if (message.command != "PRIVMSG") return true;
  if (state_.peer_keys().get(state_.current_nick()) != 1) return false;
  const auto slot = static_cast<std::size_t>(message.trailing_index);
  if (slot < message.params.size()) {
    message.params[slot] = opened_chat_text(state_.security(), message.params[slot]);
  }
  return true;
}

void ExchangeHooks::names_stored(const std::vector<std::string>& /*users: the connection holds them*/) {
  std::lock_guard hold(lock_);
  state_.mark_user_list_dirty();
  if (names_refresh_.answered(KeyExchange::Clock::now())) request_names();
  if (exchange_) exchange_->handle_names_end();
  timer_wake_.notify_one();
}

bool ExchangeHooks::answer_wanted(const std::string& nick) {
  std::lock_guard hold(lock_);
  return !exchange_ || exchange_->answer_wanted(nick);
}

void ExchangeHooks::registration_status(const std::string& text) {
  state_.set_status(text, kRegistrationStatusSeconds);
}

// A half-finished exchange does not survive the connection. How it ended reaches the
// application from the connection itself.
void ExchangeHooks::connection_ended() {
  stop_timer();
  std::lock_guard hold(lock_);
  exchange_.reset();
  state_.post_title("Velmora");
}

void ExchangeHooks::run_timer() {
  std::unique_lock hold(lock_);
  while (!timer_stop_) {
    const auto deadline = exchange_ ? exchange_->next_deadline() : std::nullopt;
    if (deadline) {
      timer_wake_.wait_until(hold, *deadline);
    } else {
      timer_wake_.wait(hold);
    }
    if (!timer_stop_ && exchange_) exchange_->tick();
  }
}

void ExchangeHooks::stop_timer() {
  {
    std::lock_guard hold(lock_);
    timer_stop_ = true;
  }
  timer_wake_.notify_all();
  if (timer_.joinable()) timer_.join();
}

}  // namespace velmora
