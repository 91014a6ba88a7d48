#include "app/exchange_hooks.h"

#include <string_view>

#include "app/app_state.h"
#include "irc/channel_members.h"

namespace velmora {
namespace {

constexpr int kStatusSeconds = 10;
using Clock = KeyAgreement::Clock;

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

ExchangeHooks::ExchangeHooks(AppState& state, Entropy& entropy)
    : state_(state), agreement_(entropy), timer_(state.scheduler()) {}

ExchangeHooks::~ExchangeHooks() { stop(); }

void ExchangeHooks::stop() {
  {
    std::lock_guard hold(lock_);
    stopped_ = true;
  }
  timer_.disarm_and_wait();  // holding nothing the callback takes
}

// A half-finished exchange does not survive the connection; the key does.
void ExchangeHooks::connection_started() {
  std::lock_guard hold(lock_);
  const ChannelTracker& where = state_.connection().channel_tracker();
  agreement_.connection_started(state_.security().passphrase(), state_.settings().max_users,
                                where.nick(), where.channel(), Clock::now());
  publish();
}

void ExchangeHooks::member_event(const MemberEvent& event) {
  std::lock_guard hold(lock_);
  const auto now = Clock::now();
  switch (event.kind) {
    case MemberEvent::Kind::Joined: agreement_.joined(event.nick, now); break;
    case MemberEvent::Kind::Left: agreement_.left(event.nick, now); break;
    case MemberEvent::Kind::Renamed: agreement_.renamed(event.nick, event.to, now); break;
    case MemberEvent::Kind::Forwarded: agreement_.channel_is(event.to); break;
    case MemberEvent::Kind::None: return;
  }
  publish();
}

bool ExchangeHooks::handle_message(const IrcMessage& message) {
  if (message.command != "PRIVMSG" && message.command != "NOTICE") return false;
  std::lock_guard hold(lock_);
  const bool to_channel = same_channel(message.param(0), state_.connection().channel_tracker().channel());
  const bool consumed =
      agreement_.text_received(message.nick, message.command, to_channel, message.text(), Clock::now());
  if (consumed) publish();
  return consumed;
}

// Chat reaches the window only while we hold the channel key, and opened: the view
// shows words, never hex.
bool ExchangeHooks::prepare_for_window(IrcMessage& message) {
  if (message.command != "PRIVMSG") return true;
  if (!holds_key()) return false;
  const auto slot = static_cast<std::size_t>(message.trailing_index);
  if (slot < message.params.size()) {
    message.params[slot] = opened_chat_text(state_.security(), message.params[slot]);
  }
  return true;
}

void ExchangeHooks::names_stored(const std::vector<std::string>& users) {
  std::lock_guard hold(lock_);
  agreement_.names(users, Clock::now());
  publish();
}

void ExchangeHooks::registration_status(const std::string& text) {
  state_.set_status(text, kStatusSeconds);
}

// How the connection ended reaches the application from the connection itself.
void ExchangeHooks::connection_ended() {
  std::lock_guard hold(lock_);
  agreement_.connection_ended();
  publish();
}

std::optional<std::string> ExchangeHooks::next_line() {
  std::lock_guard hold(lock_);
  const std::optional<AgreementLine> line = agreement_.next_line(Clock::now());
  publish(false);  // the queue asks again by itself after a line
  if (!line) return std::nullopt;
  return "PRIVMSG " + line->target + " :" + line->text;
}

bool ExchangeHooks::holds_key() {
  std::lock_guard hold(lock_);
  return agreement_.holds_key();
}

AgreementSnapshot ExchangeHooks::snapshot() {
  std::lock_guard hold(lock_);
  return agreement_.snapshot();
}

// After every event: a new key goes to the cipher before any chat line can need it,
// statuses to the status line, and the sender and the timer look again.
void ExchangeHooks::publish(bool wake_sender) {
  if (agreement_.key_generation() != loaded_generation_) {
    loaded_generation_ = agreement_.key_generation();
    state_.security().set_channel_key(agreement_.channel_key());
  }
  for (const std::string& text : agreement_.take_statuses()) state_.set_status(text, kStatusSeconds);
  const std::optional<KeyAgreement::Time> deadline = agreement_.next_deadline();
  if (deadline != armed_for_ && !stopped_) {
    armed_for_ = deadline;
    if (deadline) {
      timer_.arm(*deadline, [this] { deadline_passed(); });
    } else {
      timer_.disarm();
    }
  }
  if (!wake_sender) return;
  state_.mark_user_list_dirty();
  state_.connection().outbound().source_ready();
}

// On the scheduler's thread.
void ExchangeHooks::deadline_passed() {
  std::lock_guard hold(lock_);
  armed_for_.reset();
  if (stopped_) return;
  agreement_.tick(Clock::now());
  publish();
}

}  // namespace velmora
