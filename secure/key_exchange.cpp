#include "secure/key_exchange.h"

#include <mutex>

#include "secure/control_text.h"
#include "secure/dh_arith.h"
#include "secure/peer_key_table.h"
#include "secure/random_source.h"
#include "secure/seal.h"
#include "secure/token.h"
#include "secure/transport_key.h"

namespace velmora {

namespace {

constexpr int status_seconds = 10;
constexpr int private_exponent_bits = 160;
constexpr std::size_t channel_key_size = 56;

bool starts_with(const std::string& text, std::string_view marker) {
  return text.starts_with(marker);
}

}  // namespace

struct KeyExchange::Impl {
  Impl(ChannelSecurity& s, PeerKeyTable& p, ExchangeEnvironment& e)
      : security(s), peers(p), env(e) {}

  ChannelSecurity& security;
  PeerKeyTable& peers;
  ExchangeEnvironment& env;

  // Written on the receive thread only; the lock lets other threads read them.
  mutable std::mutex lock;
  bool exchange_pending = false;
  std::string exchange_partner;
  std::string shared_secret;
  std::string request_target;  // the holder our @PUBLIC went to

  // The passphrase key, scheduled once per passphrase rather than per message.
  std::string scheduled_passphrase;
  BlowfishCipher passphrase_key_cipher = passphrase_cipher("");

  const BlowfishCipher& passphrase_key() {
    const std::string passphrase = security.passphrase();
    if (passphrase != scheduled_passphrase) {
      passphrase_key_cipher = passphrase_cipher(passphrase);
      scheduled_passphrase = passphrase;
    }
    return passphrase_key_cipher;
  }

  void set_pending(bool pending) {
    std::lock_guard guard(lock);
    exchange_pending = pending;
  }
  bool pending() const {
    std::lock_guard guard(lock);
    return exchange_pending;
  }
  void set_partner(const std::string& nick) {
    std::lock_guard guard(lock);
    exchange_partner = nick;
  }
  std::string partner() const {
    std::lock_guard guard(lock);
    return exchange_partner;
  }

  // The holder this request depends on: the partner once its @XPUBLIC came, before that
  // the holder asked. Only that holder can answer, so when it leaves before answering
  // the request is made again elsewhere instead of waiting for ever.
  bool is_counterpart(const std::string& sender) const {
    const std::string known = partner();
    if (!known.empty()) return sender == known;
    return !request_target.empty() && sender == request_target;
  }

  void status(const std::string& text) { env.set_status(text, status_seconds); }
  void mark(const std::string& nick, int value) {
    peers.set(nick, value);
    env.mark_user_list_dirty();
  }

  void initiate(const std::string& nick);
  void follow_nick_change(const std::string& sender, const std::string& new_nick);
  void partner_gone(const std::string& sender);
  void become_keeper();
  bool refusal_received(const std::string& sender, const std::string& text);
  void answer_request(const std::string& sender, const std::string& text);
  bool within_holder_limit() const;
  void send_key(const std::string& sender, const std::string& peer_value);
  void holder_value_received(const std::string& sender, const std::string& text);
  void key_received(const std::string& sender, const std::string& text);
  void welcome(const std::string& sender);
  void announcement_received(const std::string& sender);
};

void KeyExchange::Impl::initiate(const std::string& nick) {
  status("Initiating key exchange with " + nick + "...");
  set_pending(true);
  request_target = nick;
  const std::string exponent = random_integer(private_exponent_bits);
  const std::string value =
      exponent.empty() ? std::string() : mod_pow_decimal(dh_generator, exponent, dh_prime);
  if (value.empty()) {
    status("Key exchange with " + nick + " failed!");
    return;
  }
  security.set_request_values(exponent, value);
  const std::string token = make_random_token(passphrase_key());
  env.send_message("PRIVMSG", nick, std::string(public_marker) + " " + value + " " + token);
}

void KeyExchange::Impl::follow_nick_change(const std::string& sender,
                                           const std::string& new_nick) {
  if (!exchange_partner.empty() && sender == exchange_partner) set_partner(new_nick);
  if (!request_target.empty() && sender == request_target) request_target = new_nick;
}

void KeyExchange::Impl::partner_gone(const std::string& sender) {
  set_pending(false);
  set_partner({});
  request_target.clear();
  const std::string own = env.current_nick();
  for (const std::string& nick : env.server_users()) {
    if (nick != own && nick != sender && peers.get(nick) == 1) {
      initiate(nick);
      return;
    }
  }
  become_keeper();
}

void KeyExchange::Impl::become_keeper() {
  const std::string key = random_string();
  if (key.empty()) return;  // no randomness: stay without a key rather than use a weak one
  security.set_channel_key(key);
  status("");
  mark(env.current_nick(), 1);
}

bool KeyExchange::Impl::refusal_received(const std::string& sender, const std::string& text) {
  const std::string_view token = last_characters(text, token_digits);
  if (token_accepted(passphrase_key(), token)) {
    status(sender + " has cancelled the key exchange as your authentication keys do not match!");
  }
  return true;
}

bool KeyExchange::Impl::within_holder_limit() const {
  const int limit = env.max_users();
  if (limit <= 0) return true;
  int holders = 0;
  for (const std::string& nick : env.channel_users()) {
    if (!nick.empty() && peers.get(nick) == 1) ++holders;
  }
  return holders < limit;
}

void KeyExchange::Impl::answer_request(const std::string& sender, const std::string& text) {
  const std::string_view token = public_request_token(text);
  if (!token_accepted(passphrase_key(), token)) {
    env.send_message("PRIVMSG", sender, std::string(badauth_marker) + " " + std::string(token));
    return;
  }
  if (!within_holder_limit()) return;
  const std::string peer_value(public_request_value(text));
  // Only a value in 2..p-2 keeps the secret out of a tiny subgroup.
  if (!is_valid_public_value(peer_value)) return;
  send_key(sender, peer_value);
}

void KeyExchange::Impl::send_key(const std::string& sender, const std::string& peer_value) {
  status("Exchanging key with " + sender + "...");
  const std::string exponent = random_integer(private_exponent_bits);
  if (exponent.empty()) {
    status("Key exchange with " + sender + " failed!");
    return;
  }
  const std::string value = mod_pow_decimal(dh_generator, exponent, dh_prime);
  const std::string secret = mod_pow_decimal(peer_value, exponent, dh_prime);
  BlowfishCipher transport;
  derive_transport_key(secret, passphrase_key(), transport);
  const std::string sealed_key = seal_cbc(transport, security.channel_key());
  env.send_message("PRIVMSG", sender, std::string(xpublic_marker) + " " + value);
  env.send_message("PRIVMSG", sender, std::string(xkey_marker) + " " + sealed_key);
  status("Key exchange complete with " + sender + ".");
}

void KeyExchange::Impl::holder_value_received(const std::string& sender,
                                              const std::string& text) {
  // Only the holder we asked may answer, and only with a value in 2..p-2.
  if (sender != request_target) return;
  const std::string value(text_after(text, xpublic_marker.size() + 1));
  if (!is_valid_public_value(value)) return;
  const std::string secret = mod_pow_decimal(value, security.private_exponent(), dh_prime);
  set_partner(sender);
  shared_secret = secret;
}

void KeyExchange::Impl::key_received(const std::string& sender, const std::string& text) {
  BlowfishCipher transport;
  derive_transport_key(shared_secret, passphrase_key(), transport);
  const std::string key = open_cbc(transport, text_after(text, xkey_marker.size() + 1));
  if (key.size() != channel_key_size) {
    status("Key exchange with " + sender + " failed!");
    return;
  }
  security.set_channel_key(key);
  security.set_request_values({}, {});
  shared_secret.clear();
  request_target.clear();
  set_pending(false);
  set_partner({});
  env.send_message("PRIVMSG", env.current_channel(), std::string(authenticated_marker));
  mark(env.current_nick(), 1);
  status("Key exchange complete!");
}

void KeyExchange::Impl::welcome(const std::string& sender) {
  env.send_message("PRIVMSG", sender, std::string(authenticated_marker));
  peers.set(sender, 0);
}

void KeyExchange::Impl::announcement_received(const std::string& sender) {
  mark(sender, 1);
  if (peers.get(env.current_nick()) == 0 && !pending()) initiate(sender);
}

KeyExchange::KeyExchange(ChannelSecurity& security, PeerKeyTable& peers,
                         ExchangeEnvironment& env)
    : impl_(std::make_unique<Impl>(security, peers, env)) {}
KeyExchange::~KeyExchange() = default;

bool KeyExchange::handle_message(const std::string& sender, const std::string& command,
                                 const std::string& text) {
  Impl& x = *impl_;
  const bool privmsg = command == "PRIVMSG";
  bool consumed = false;
  if (command == "NICK") x.follow_nick_change(sender, text);
  if ((command == "QUIT" || command == "PART") && x.pending() && x.is_counterpart(sender)) {
    x.partner_gone(sender);
  }
  if (privmsg && starts_with(text, badauth_marker) && x.security.channel_key().empty()) {
    consumed = x.refusal_received(sender, text);
  }
  if (privmsg && starts_with(text, public_marker) && !x.security.channel_key().empty()) {
    x.answer_request(sender, text);
  }
  if (privmsg && x.pending() && x.security.channel_key().empty()) {
    if (starts_with(text, xpublic_marker)) x.holder_value_received(sender, text);
    if (!x.partner().empty() && sender == x.partner() && starts_with(text, xkey_marker)) {
      x.key_received(sender, text);
    }
  }
  if (starts_with(text, xpublic_marker) || starts_with(text, xkey_marker) ||
      starts_with(text, public_marker)) {
    consumed = true;
  }
  if (command == "JOIN" && sender != x.env.current_nick() &&
      x.peers.get(x.env.current_nick()) == 1 && !x.security.passphrase().empty()) {
    x.welcome(sender);
  }
  if (starts_with(text, authenticated_marker)) {
    x.announcement_received(sender);
    consumed = true;
  }
  return consumed;
}

void KeyExchange::handle_names_end() {
  Impl& x = *impl_;
  const std::vector<std::string> users = x.env.server_users();
  const bool plain = x.security.passphrase().empty();
  if (plain) {
    for (const std::string& nick : users) x.peers.set(nick, 1);
  }
  const bool keyless = x.security.channel_key().empty();
  if (keyless) x.peers.set(x.env.current_nick(), 0);
  x.env.mark_user_list_dirty();
  if (!plain && keyless && users.size() == 1) x.become_keeper();
}

void KeyExchange::initiate_exchange(const std::string& nick) { impl_->initiate(nick); }

bool KeyExchange::exchange_pending() const { return impl_->pending(); }

std::string KeyExchange::exchange_partner() const { return impl_->partner(); }

}  // namespace velmora
