#include "irc/registration.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <random>
#include <sstream>

#include "irc/base64.h"

namespace velmora {
namespace {

// A server's reason is quoted in the status line up to this many bytes.
constexpr std::size_t kQuotedReason = 200;
constexpr std::size_t kMaxQuotedNick = 64;  // longer than any server's nicks

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The value of capability `name` in a space-separated list ("sasl=PLAIN,EXTERNAL"):
// nothing when absent, "" when offered without a value.
std::optional<std::string> capability(const std::string& list, const std::string& name) {
  std::istringstream words(list);
  std::string word;
  while (words >> word) {
    const std::size_t eq = word.find('=');
    if (word.substr(0, eq) != name) continue;
    return eq == std::string::npos ? std::string{} : word.substr(eq + 1);
  }
  return std::nullopt;
}

bool lists_mechanism(const std::string& mechanisms, const std::string& name) {
  std::istringstream items(mechanisms);
  std::string item;
  while (std::getline(items, item, ',')) {
    if (upper(item) == name) return true;
  }
  return false;
}

bool same_channel(const std::string& a, const std::string& b) {
  return !a.empty() && upper(a) == upper(b);
}

constexpr std::size_t kShortNick = 9;  // the least a server must allow

}  // namespace

std::string alternative_nick(const std::string& nick, int attempt) {
  if (attempt <= 1) return nick.substr(0, kShortNick - 1) + "_";
  static thread_local std::minstd_rand digits(std::random_device{}());
  const int number = static_cast<int>(digits() % 100);
  return nick.substr(0, kShortNick - 2) + static_cast<char>('0' + number / 10) +
         static_cast<char>('0' + number % 10);
}

std::string join_refusal_text(const IrcMessage& m, const std::string& channel) {
  // nullptr: the server's text says why.
  static const std::pair<const char*, const char*> kReasons[] = {
      {"471", nullptr},
      {"473", "it is invite only"},
      {"474", "you are banned from it"},
      {"475", "it needs a channel key"},
      {"477", nullptr},
      {"403", "there is no such channel"},
      {"405", "you are in too many channels"},
  };
  if (!same_channel(m.param(1), channel)) return {};
  for (const auto& [code, words] : kReasons) {
    if (m.command != code) continue;
    const std::string reason = words ? words : m.text().substr(0, kQuotedReason);
    return "Cannot join " + m.param(1).substr(0, kQuotedReason) + ": " + reason;
  }
  return {};
}

std::vector<std::string> authenticate_lines(const std::string& payload) {
  const std::string encoded = base64_encode(payload);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < encoded.size(); at += Registration::kPayloadPiece) {
    lines.push_back("AUTHENTICATE " + encoded.substr(at, Registration::kPayloadPiece));
  }
  if (encoded.size() % Registration::kPayloadPiece == 0) lines.push_back("AUTHENTICATE +");
  return lines;
}

const char* Registration::mechanism_name() const {
  return plan_.mechanism == SaslMechanism::external ? "EXTERNAL" : "PLAIN";
}

RegistrationStep Registration::handle(const IrcMessage& m) {
  RegistrationStep step;
  if (gave_up_) return step;  // we are leaving: nothing more to say
  if (welcomed_) step.status = join_refusal_text(m, plan_.channel);
  if (!step.status.empty()) {
    step.refusal = true;  // the view shows it as a note, in these words
    step.consumed = true;
  }
  const std::string& command = m.command;
  if (command == "CAP") {
    step.consumed = true;
    if (state_ != State::done) on_cap(m, step);
  } else if (command == "AUTHENTICATE") {
    step.consumed = true;
    if (state_ == State::authenticating) on_authenticate(m, step);
  } else if (command == "900") {
    step.consumed = true;
    account_ = m.param(2).substr(0, kQuotedReason);
  } else if (command == "903" && state_ == State::authenticating) {
    step.consumed = true;
    logged_in_ = true;
    step.account = account_.empty() ? plan_.user : account_;
    step.status = "Logged in as " + step.account;
    finish(step);
  } else if ((command == "902" || command == "904" || command == "905" || command == "906") &&
             state_ == State::authenticating) {
    step.consumed = true;
    on_failure("SASL: login refused (" + command + ": " + m.text().substr(0, kQuotedReason) + ")",
               step);
  } else if (command == "421" && upper(m.param(1)) == "CAP") {
    step.consumed = true;  // the server does not negotiate; registration goes on
    if (plan_.mechanism != SaslMechanism::none && state_ != State::done) {
      on_failure("SASL: the server offers no account login", step);
    }
    state_ = State::done;
  } else if ((command == "908" || command == "907") && plan_.mechanism != SaslMechanism::none) {
    step.consumed = true;
  } else if ((command == "433" || command == "432" || command == "436" || command == "437") &&
             !welcomed_) {
    on_nick_refused(m, step);
  } else if (command == "464") {
    step.status = "The server refused the password (AUTHPASS): " + m.text().substr(0, kQuotedReason);
    step.refusal = true;
    step.consumed = true;
  } else if (command == "001" && !welcomed_) {
    welcomed_ = true;
    step.welcomed = true;
    step.join = !plan_.channel.empty();
    step.status = step.join ? "Joining channel..." : "";
    // A server that welcomed us without finishing negotiation never will.
    if (state_ != State::done && plan_.mechanism != SaslMechanism::none && !logged_in_) {
      on_failure("SASL: the server welcomed us without a login", step);
    }
    state_ = State::done;
    if (step.give_up) step.join = false;
  }
  return step;
}

void Registration::on_cap(const IrcMessage& m, RegistrationStep& step) {
  const std::string sub = upper(m.param(1));
  if (sub == "LS") {
    if (state_ != State::listing) return;
    if (offered_.size() + m.text().size() + 1 > kMaxOffered) {
      offered_.clear();
      step.status = "CAP: the server's capability list passed 64 KiB; negotiation ended";
      if (plan_.mechanism == SaslMechanism::none) return finish(step);
      return on_failure("SASL: the server's capability list passed 64 KiB", step);
    }
    offered_ += " " + m.text();
    // "CAP * LS * :caps" says more lines follow.
    if (m.param(2) == "*" && m.trailing_index == 3) return;
    on_capabilities_listed(step);
  } else if (sub == "ACK" && state_ == State::requesting) {
    if (capability(m.text(), "sasl")) {
      state_ = State::authenticating;
      step.send.push_back(std::string("AUTHENTICATE ") + mechanism_name());
    } else {
      on_failure("SASL: the server did not grant sasl", step);
    }
  } else if (sub == "NAK" && state_ == State::requesting) {
    on_failure("SASL: the server refused sasl", step);
  }
}

void Registration::on_capabilities_listed(RegistrationStep& step) {
  if (plan_.mechanism == SaslMechanism::none) return finish(step);
  if (plan_.mechanism == SaslMechanism::plain && !plan_.encrypted && !plan_.plaintext_allowed) {
    return on_failure(
        "SASL PLAIN needs TLS; the password was not sent over a plain connection "
        "(TLS=1, or SASL_PLAINTEXT=1 to send it anyway)",
        step);
  }
  const std::optional<std::string> sasl = capability(offered_, "sasl");
  if (!sasl) return on_failure("SASL: the server offers no account login", step);
  if (!sasl->empty() && !lists_mechanism(*sasl, mechanism_name())) {
    return on_failure(std::string("SASL: the server does not offer ") + mechanism_name(), step);
  }
  state_ = State::requesting;
  step.send.push_back("CAP REQ :sasl");
}

void Registration::on_authenticate(const IrcMessage& m, RegistrationStep& step) {
  // PLAIN and EXTERNAL expect one empty challenge; a server that repeats it gets
  // nothing more (it was sending the password again at every "+").
  if (m.param(0) != "+" || payload_sent_) return;
  payload_sent_ = true;
  const std::string payload = plan_.mechanism == SaslMechanism::external
                                  ? std::string{}
                                  : plan_.user + '\0' + plan_.user + '\0' + plan_.password;
  for (std::string& line : authenticate_lines(payload)) step.send.push_back(std::move(line));
}

void Registration::on_failure(const std::string& text, RegistrationStep& step) {
  step.refusal = true;
  if (plan_.required) {
    step.status = text + "; disconnecting";
    step.give_up = true;
    gave_up_ = true;
    state_ = State::done;
    return;
  }
  step.status = text + "; continuing without an account";
  finish(step);
}

// Before the welcome a taken nick leaves us unregistered: try others by ourselves.
void Registration::on_nick_refused(const IrcMessage& m, RegistrationStep& step) {
  // A server's word is quoted only so far: nothing stops it sending a long one.
  const std::string refused = (m.param(1).empty() ? plan_.nick : m.param(1)).substr(0, kMaxQuotedNick);
  if (plan_.nick.empty() || nick_tries_ >= kNickAlternatives) {
    step.status = "Nick " + refused + " is not available; choose another with /nick";
    step.refusal = true;
    step.consumed = true;
    return;
  }
  const std::string next = alternative_nick(plan_.nick, ++nick_tries_);
  step.send.push_back("NICK " + next);
  step.status = (m.command == "432" ? "Nick " + refused + " is not allowed; using "
                                    : "Nick " + refused + " is in use; using ") + next;
}

void Registration::finish(RegistrationStep& step) {
  if (state_ != State::done) step.send.push_back("CAP END");
  state_ = State::done;
}

}  // namespace velmora
