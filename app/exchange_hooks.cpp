#include "app/exchange_hooks.h"

#include <optional>
#include <string_view>

#include "app/app_state.h"
#include "irc/channel_members.h"
#include "secure/control_text.h"

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
struct OpenedChat {
  bool sealed = false;
  std::optional<std::string> text;  // nothing: sealed, and it did not open under our key
};

OpenedChat open_chat(const ChannelSecurity& security, const std::string& text) {
  if (text.starts_with(kCryptoMarker)) return {true, security.open_chat_text(text)};
  if (!opens_action(text)) return {false, text};
  constexpr std::size_t kFrameSize = 8;  // "\x01ACTION "
  std::string body = text.substr(kFrameSize);
  const bool closed = !body.empty() && body.back() == '\x01';
  if (closed) body.pop_back();
  if (!body.starts_with(kCryptoMarker)) return {false, text};
  const std::optional<std::string> words = security.open_chat_text(body);
  if (!words) return {true, std::nullopt};
  return {true, text.substr(0, kFrameSize) + *words + (closed ? "\x01" : "")};
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

// A half-finished exchange does not survive the connection; the key does. A refusal
// of the last connection no longer holds.
void ExchangeHooks::connection_started() {
  state_.clear_refusal();
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

// Chat reaches the window only while we hold the channel key (or set no passphrase),
// opened, and marked with who could read it: the view shows words, never hex. A user's
// notice is never sealed; its privacy is marked all the same.
bool ExchangeHooks::prepare_for_window(ReceivedLine& line) {
  IrcMessage& message = line.message;
  const bool to_channel = same_channel(message.param(0), state_.current_channel());
  const LinePrivacy unsealed = to_channel ? LinePrivacy::Plain : LinePrivacy::Direct;
  if (message.command == "NOTICE" && !message.user_host.empty()) line.privacy = unsealed;
  if (message.command != "PRIVMSG") return true;
  if (!holds_key() && !state_.security().passphrase().empty()) return false;
  const auto slot = static_cast<std::size_t>(message.trailing_index);
  if (slot >= message.params.size()) {
    line.privacy = unsealed;
    return true;
  }
  OpenedChat opened = open_chat(state_.security(), message.params[slot]);
  if (!opened.sealed) {
    line.privacy = unsealed;
    return true;
  }
  line.privacy = opened.text ? LinePrivacy::Sealed : LinePrivacy::OtherKey;
  message.params[slot] = std::move(opened.text).value_or(std::string());
  std::lock_guard hold(lock_);
  if (agreement_.sealed_line_from(message.nick, line.privacy == LinePrivacy::Sealed)) {
    state_.mark_user_list_dirty();
  }
  return true;
}

void ExchangeHooks::names_stored(const std::vector<std::string>& users) {
  std::lock_guard hold(lock_);
  agreement_.names(users, Clock::now());
  publish();
}

void ExchangeHooks::registration_status(const std::string& text, bool refusal) {
  if (refusal) {
    state_.post_refusal(text);
  } else {
    state_.set_status(text, kStatusSeconds);
  }
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
