#pragma once
// Registration after the login lines: capability negotiation (CAP LS 302), the SASL
// account login, and the JOIN once the server has welcomed us (001). Servers such as
// InspIRCd answer a JOIN sent before the welcome with 451 and never let us in.
//
// A pure state machine: each server line in, the lines to send and a status out, so
// the rules are tested without a socket. Only the "sasl" capability is ever requested.

#include <string>
#include <vector>

#include "irc/irc_message.h"

namespace velmora {

enum class SaslMechanism { none, plain, external };

struct RegistrationPlan {
  std::string channel;      // joined on the welcome; empty for none
  std::string channel_key;  // its +k key, sent with the JOIN; empty for none
  std::string nick;     // the nick the login asked for; alternatives derive from it
  SaslMechanism mechanism = SaslMechanism::none;
  std::string user;      // PLAIN account name
  std::string password;  // PLAIN password
  bool required = false;  // without the account login, disconnect instead of going on
  // PLAIN sends the password readable by anyone on the path unless the connection is
  // encrypted; without TLS it is refused unless the user allowed it (SASL_PLAINTEXT=1).
  bool encrypted = false;
  bool plaintext_allowed = false;
};

struct RegistrationStep {
  std::vector<std::string> send;  // lines to send now, in order
  std::string status;             // a status text for the user; empty for none
  // The status is a refusal: it stays in the status line and the view shows it (a
  // refusing numeric is consumed, so the view does not show it twice).
  bool refusal = false;
  bool consumed = false;          // the line is not for the window
  bool join = false;              // send the JOIN now
  bool welcomed = false;          // the server accepted our registration (001)
  bool give_up = false;           // the required account login failed: disconnect
  std::string account;            // the account we are now logged in as
};

class Registration {
public:
  // SASL payloads go out in pieces of this many characters.
  static constexpr std::size_t kPayloadPiece = 400;
  // Other nicks tried when the one asked for is taken during registration.
  static constexpr int kNickAlternatives = 4;
  // The capability lists of a multi-line CAP LS are kept up to this many bytes: the
  // longest real list is under 2 KiB, and 120 MB of an endless one took 124 MB.
  static constexpr std::size_t kMaxOffered = 64 * 1024;

  explicit Registration(RegistrationPlan plan) : plan_(std::move(plan)) {}
  RegistrationStep handle(const IrcMessage& message);
  bool logged_in() const { return logged_in_; }

private:
  enum class State { listing, requesting, authenticating, done };

  void on_cap(const IrcMessage& m, RegistrationStep& step);
  void on_capabilities_listed(RegistrationStep& step);
  void on_authenticate(const IrcMessage& m, RegistrationStep& step);
  void on_failure(const std::string& text, RegistrationStep& step);
  void finish(RegistrationStep& step);
  void on_nick_refused(const IrcMessage& m, RegistrationStep& step);
  const char* mechanism_name() const;

  RegistrationPlan plan_;
  State state_ = State::listing;
  std::string offered_;  // the capabilities of every LS line so far
  std::string account_;  // from 900
  bool logged_in_ = false;
  bool welcomed_ = false;
  bool gave_up_ = false;
  bool payload_sent_ = false;  // the SASL payload goes out once per login
  int nick_tries_ = 0;
};

// The alternative to `nick` for try `attempt` (1 based): nick + "_", then nick with
// two random digits; short enough for a server that allows only 9 characters.
std::string alternative_nick(const std::string& nick, int attempt);

// A JOIN refusal (471, 473, 474, 475, 477, 403, 405) for `channel`, in words; empty
// for any other line. Where servers use a numeric for different reasons (ngircd's 471
// for a channel that wants registered users), the server's own text is the reason.
std::string join_refusal_text(const IrcMessage& message, const std::string& channel);

// "AUTHENTICATE <piece>" lines for a payload: base64 in pieces of kPayloadPiece, and
// "AUTHENTICATE +" after a last piece of exactly that length or for an empty payload.
std::vector<std::string> authenticate_lines(const std::string& payload);

}  // namespace velmora
