#include "secure/key_exchange.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "secure/control_text.h"
#include "secure/dh_arith.h"
#include "secure/peer_key_table.h"
#include "secure/random_source.h"
#include "secure/request_round.h"
#include "secure/seal.h"
#include "secure/token.h"
#include "secure/transport_key.h"

namespace velmora {

namespace {

constexpr int kStatusSeconds = 10;
constexpr int kPrivateExponentBits = 160;
constexpr std::size_t kChannelKeySize = 56;
// A joiner is welcomed at most once in this time, however often it joins and leaves.
constexpr auto kWelcomePause = std::chrono::seconds(30);
constexpr std::size_t kMaxRemembered = 256;     // early welcomes, announced holders
constexpr std::size_t kMaxWelcomed = 4096;      // nicks with a welcome pause running
constexpr std::size_t kMaxPeers = 10000;        // holder marks, beyond the channel's own
constexpr auto kSpreadAfter = std::chrono::seconds(1);

bool contains(const std::vector<std::string>& list, const std::string& nick) {
  return std::find(list.begin(), list.end(), nick) != list.end();
}

void remember(std::vector<std::string>& list, const std::string& nick) {
  if (contains(list, nick) || list.size() >= kMaxRemembered) return;
  list.push_back(nick);
}

}  // namespace

bool well_formed_channel_key(std::string_view key) {
  return key.size() == kChannelKeySize &&
         std::all_of(key.begin(), key.end(), [](char c) { return c >= 33 && c <= 126; });
}

struct KeyExchange::Impl {
  Impl(ChannelSecurity& s, PeerKeyTable& p, ExchangeEnvironment& e, Now n)
      : security(s), peers(p), env(e), now(std::move(n)) {}

  ChannelSecurity& security;
  PeerKeyTable& peers;
  ExchangeEnvironment& env;
  Now now;

  // Written on the receive thread only; the lock lets other threads read them.
  mutable std::mutex lock;
  bool exchange_pending = false;
  std::string exchange_partner;
  std::string shared_secret;
  std::string request_target;  // the holder our @PUBLIC went to

  RequestRound round;
  Clock::time_point asked_at{};  // when the request in flight went out
  // Two clients that made a key each at about the same time converge on the key with
  // the smaller check: the other side asks for it through an ordinary exchange and
  // keeps its own key until that exchange succeeds.
  bool reconciling = false;
  std::unordered_map<std::string, std::string> key_checks;  // announced, per holder
  std::vector<std::string> reconcile_tried;
  // Until our own names list is in, nobody can be told apart from an outsider: a
  // welcome that comes that early waits for the list.
  bool names_complete = false;
  std::vector<std::string> early_welcomes;
  std::vector<std::string> announced;  // holders heard from on this connection, in order
  std::unordered_map<std::string, Clock::time_point> welcomed;

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
  // the holder asked.
  std::string counterpart() const {
    const std::string known = partner();
    return known.empty() ? request_target : known;
  }
  bool is_counterpart(const std::string& sender) const {
    return !sender.empty() && sender == counterpart();
  }

  bool listed(const std::string& nick) const { return contains(env.channel_users(), nick); }
  bool wants_key() const {
    return !security.passphrase().empty() && security.channel_key().empty() &&
           peers.get(env.current_nick()) == 0;
  }

  void status(const std::string& text) { env.set_status(text, kStatusSeconds); }
  void mark(const std::string& nick, int value) {
    peers.set(nick, value);
    env.mark_user_list_dirty();
    if (peers.size() > kMaxPeers) forget_strangers();
  }
  // Marks of nicks outside the channel (anyone can announce) are kept only up to a
  // bound, the oldest dropped first; the channel's members and this client stay.
  void forget_strangers() {
    const std::vector<std::string> users = env.channel_users();
    const std::unordered_set<std::string_view> keep(users.begin(), users.end());
    const std::string own = env.current_nick();
    peers.trim(kMaxPeers * 9 / 10, [&](std::string_view nick) {
      return nick == own || keep.contains(nick);
    });
  }

  std::optional<std::string> next_holder(const std::string& exclude) const;
  bool other_holder_listed(const std::string& exclude) const;
  void initiate(const std::string& nick, const std::string& status_text);
  void drop_request();
  void move_on(const std::string& nick, RequestRound::Outcome outcome);
  void follow_nick_change(const std::string& sender, const std::string& new_nick);
  void move_mark(const std::string& from, const std::string& to);
  void partner_gone(const std::string& sender);
  void become_keeper();
  bool refusal_received(const std::string& sender, const std::string& text);
  void answer_request(const std::string& sender, const std::string& text);
  bool within_holder_limit() const;
  void send_key(const std::string& sender, const std::string& peer_value);
  void holder_value_received(const std::string& sender, const std::string& text);
  void key_received(const std::string& sender, const std::string& text);
  void welcome(const std::string& sender);
  void announcement_received(const std::string& sender, const std::string& text);
  void ask_early_welcomer();
  void tick();
  void make_key_and_announce();
  void note_key_check(const std::string& sender, const std::string& text);
  void reconcile();
  void spread_out();
  bool asking_as_holder() const { return reconciling; }
};

// Holders in the channel not yet asked in this round: those heard from on this
// connection first, then the others in list order.
std::optional<std::string> KeyExchange::Impl::next_holder(const std::string& exclude) const {
  const std::vector<std::string> users = env.channel_users();
  const std::string own = env.current_nick();
  const auto eligible = [&](const std::string& nick) {
    return !nick.empty() && nick != own && nick != exclude && !round.tried(nick) &&
           peers.get(nick) == 1 && contains(users, nick);
  };
  for (const std::string& nick : announced) {
    if (eligible(nick)) return nick;
  }
  for (const std::string& nick : users) {
    if (eligible(nick)) return nick;
  }
  return std::nullopt;
}

bool KeyExchange::Impl::other_holder_listed(const std::string& exclude) const {
  const std::string own = env.current_nick();
  for (const std::string& nick : env.channel_users()) {
    if (nick != own && nick != exclude && peers.get(nick) == 1) return true;
  }
  return false;
}

void KeyExchange::Impl::initiate(const std::string& nick, const std::string& status_text) {
  status(status_text);
  set_pending(true);
  set_partner({});
  shared_secret.clear();
  request_target = nick;
  asked_at = now();
  round.asked(nick, asked_at);
  const std::string exponent = random_integer(kPrivateExponentBits);
  const std::string value =
      exponent.empty() ? std::string() : mod_pow_decimal(dh_generator, exponent, dh_prime);
  if (value.empty()) {
    status("Key exchange with " + nick + " failed!");
    return;  // the time-out moves on
  }
  security.set_private_exponent(exponent);
  const std::string token = make_random_token(passphrase_key());
  env.send_message("PRIVMSG", nick, std::string(kPublicMarker) + " " + value + " " + token);
}

void KeyExchange::Impl::drop_request() {
  set_pending(false);
  set_partner({});
  request_target.clear();
  shared_secret.clear();
}

// The request to `nick` ended without a key: ask the next holder, or wait for the next
// round. Only a round in which every holder refused our passphrase stays requested,
// as a refused request always did.
void KeyExchange::Impl::move_on(const std::string& nick, RequestRound::Outcome outcome) {
  round.ended(outcome);
  drop_request();
  if (reconciling) {  // we still have our own key: try the next smaller one, if any
    reconciling = false;
    reconcile();
    return;
  }
  const bool no_answer = outcome == RequestRound::Outcome::NoAnswer;
  if (const auto next = next_holder(nick)) {
    initiate(*next, no_answer ? "No answer from " + nick + "; asking " + *next + "..."
                              : "Initiating key exchange with " + *next + "...");
    return;
  }
  round.exhausted(now());
  if (round.refused_by_all()) {
    set_pending(true);
  } else if (no_answer) {
    status("No answer from " + nick + "; asking again in 30 seconds...");
  }
}

void KeyExchange::Impl::follow_nick_change(const std::string& sender,
                                           const std::string& new_nick) {
  if (!exchange_partner.empty() && sender == exchange_partner) set_partner(new_nick);
  if (!request_target.empty() && sender == request_target) request_target = new_nick;
}

// Only the holder asked could answer, so its leaving moves the request on. A key of
// our own only when no other holder is listed: two keys would split the channel.
// The holder mark follows a nick change, our own included.
void KeyExchange::Impl::move_mark(const std::string& from, const std::string& to) {
  if (to.empty() || peers.get(from) != 1) return;
  peers.set(from, 0);
  mark(to, 1);
}

void KeyExchange::Impl::partner_gone(const std::string& sender) {
  if (reconciling) {
    move_on(sender, RequestRound::Outcome::NoAnswer);
    return;
  }
  round.ended(RequestRound::Outcome::NoAnswer);
  drop_request();
  if (const auto next = next_holder(sender)) {
    initiate(*next, "Initiating key exchange with " + *next + "...");
  } else if (other_holder_listed(sender)) {
    round.exhausted(now());
  } else {
    become_keeper();
  }
}

void KeyExchange::Impl::become_keeper() {
  const std::string key = random_string();
  if (key.empty()) return;  // no randomness: stay without a key rather than use a weak one
  security.set_channel_key(key);
  round.finished();
  status("");
  mark(env.current_nick(), 1);
}

bool KeyExchange::Impl::refusal_received(const std::string& sender, const std::string& text) {
  const std::string_view token = last_characters(text, kTokenDigits);
  if (!token_accepted(passphrase_key(), token)) return true;
  status(sender + " has cancelled the key exchange as your authentication keys do not match!");
  if (pending() && is_counterpart(sender)) move_on(sender, RequestRound::Outcome::Refused);
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
    env.send_message("PRIVMSG", sender, std::string(kBadauthMarker) + " " + std::string(token));
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
  const std::string exponent = random_integer(kPrivateExponentBits);
  if (exponent.empty()) {
    status("Key exchange with " + sender + " failed!");
    return;
  }
  const std::string value = mod_pow_decimal(dh_generator, exponent, dh_prime);
  const std::string secret = mod_pow_decimal(peer_value, exponent, dh_prime);
  BlowfishCipher transport;
  derive_transport_key(secret, passphrase_key(), transport);
  const std::string sealed_key = seal_cbc(transport, security.channel_key());
  env.send_message("PRIVMSG", sender, std::string(kXpublicMarker) + " " + value);
  env.send_message("PRIVMSG", sender, std::string(kXkeyMarker) + " " + sealed_key);
  status("Key exchange complete with " + sender + ".");
}

void KeyExchange::Impl::holder_value_received(const std::string& sender,
                                              const std::string& text) {
  // Only the holder we asked may answer, once, and only with a value in 2..p-2.
  if (sender != request_target || !partner().empty()) return;
  const std::string value(text_after(text, kXpublicMarker.size() + 1));
  if (!is_valid_public_value(value)) return;
  const std::string secret = mod_pow_decimal(value, security.private_exponent(), dh_prime);
  set_partner(sender);
  shared_secret = secret;
  round.answer_started(now());
}

// One @XKEY per request: a text that does not open to a well-formed key ends the
// exchange with that holder, so nobody can try their luck again and again.
void KeyExchange::Impl::key_received(const std::string& sender, const std::string& text) {
  BlowfishCipher transport;
  derive_transport_key(shared_secret, passphrase_key(), transport);
  const std::string key = open_cbc(transport, text_after(text, kXkeyMarker.size() + 1));
  if (!well_formed_channel_key(key)) {
    status("Key exchange with " + sender + " failed!");
    move_on(sender, RequestRound::Outcome::Failed);
    return;
  }
  security.set_channel_key(key);
  security.set_private_exponent({});
  drop_request();
  round.finished();
  reconciling = false;
  reconcile_tried.clear();
  env.send_message("PRIVMSG", env.current_channel(), announcement(key));
  mark(env.current_nick(), 1);
  status("Key exchange complete!");
  reconcile();  // a still smaller key may have been announced meanwhile
}

void KeyExchange::Impl::welcome(const std::string& sender) {
  peers.set(sender, 0);
  const Clock::time_point t = now();
  const auto last = welcomed.find(sender);
  if (last != welcomed.end() && t - last->second < kWelcomePause) return;
  if (welcomed.size() >= kMaxWelcomed) {
    std::erase_if(welcomed, [&](const auto& entry) { return t - entry.second >= kWelcomePause; });
    if (welcomed.size() >= kMaxWelcomed) welcomed.clear();
  }
  welcomed[sender] = t;
  env.send_message("PRIVMSG", sender, announcement(security.channel_key()));
}

// Anyone may say "@AUTHENTICATED" and is marked for it; only a nick in the channel
// is asked for the key.
void KeyExchange::Impl::announcement_received(const std::string& sender,
                                              const std::string& text) {
  mark(sender, 1);
  note_key_check(sender, text);
  if (!names_complete) {
    remember(early_welcomes, sender);
    return;
  }
  remember(announced, sender);
  if (peers.get(env.current_nick()) == 0 && !pending() && listed(sender) &&
      !round.tried(sender)) {
    initiate(sender, "Initiating key exchange with " + sender + "...");
    return;
  }
  spread_out();
  reconcile();
}

// Many joiners at once all ask the one holder there is, which answers them one after
// another at the pace the server allows. Each newcomer that gets the key is one more
// holder: a joiner still waiting for its first answer after kSpreadAfter moves to the
// holder its nick falls on among those announced, so the load spreads as the key does.
void KeyExchange::Impl::spread_out() {
  if (!pending() || reconciling || !partner().empty() || request_target.empty()) return;
  if (now() - asked_at < kSpreadAfter) return;
  const std::string own = env.current_nick();
  const std::vector<std::string> users = env.channel_users();
  std::vector<std::string> holders;
  for (const std::string& nick : announced) {
    if (nick != own && peers.get(nick) == 1 && contains(users, nick) &&
        (nick == request_target || !round.tried(nick))) {
      holders.push_back(nick);
    }
  }
  if (holders.size() < 2) return;
  const std::string& chosen = holders[std::hash<std::string>{}(own) % holders.size()];
  if (chosen == request_target) return;
  round.ended(RequestRound::Outcome::NoAnswer);
  drop_request();
  initiate(chosen, "Initiating key exchange with " + chosen + "...");
}

void KeyExchange::Impl::note_key_check(const std::string& sender, const std::string& text) {
  const std::string check(announced_key_check(text));
  if (check.empty()) {
    key_checks.erase(sender);
  } else if (key_checks.size() < kMaxRemembered || key_checks.contains(sender)) {
    key_checks[sender] = check;
  }
}

// Holding a key, we ask the member whose announced key has the smallest check below
// ours for it, once per member. The exchange is the usual one, so only a holder who
// knows the passphrase can hand us a key, and ours stays until one arrives.
void KeyExchange::Impl::reconcile() {
  const std::string key = security.channel_key();
  if (reconciling || pending() || key.empty() || security.passphrase().empty()) return;
  const std::string own_check = key_check(key);
  const std::string own = env.current_nick();
  const std::vector<std::string> users = env.channel_users();
  const std::string* best = nullptr;
  const std::string* best_check = &own_check;
  for (const auto& [nick, check] : key_checks) {
    if (check < *best_check && nick != own && contains(users, nick) &&
        !contains(reconcile_tried, nick)) {
      best = &nick;
      best_check = &check;
    }
  }
  if (!best) return;
  const std::string nick = *best;
  if (reconcile_tried.size() < kMaxRemembered) reconcile_tried.push_back(nick);
  reconciling = true;
  initiate(nick, "Initiating key exchange with " + nick + "...");
}

// Only ordinary IRC users with us, or holders that never spoke: someone has to make
// the key. Announced, so that every Velmora client in the channel asks for it.
void KeyExchange::Impl::make_key_and_announce() {
  become_keeper();
  const std::string key = security.channel_key();
  if (key.empty()) return;
  env.send_message("PRIVMSG", env.current_channel(), announcement(key));
  reconcile();
}

void KeyExchange::Impl::ask_early_welcomer() {
  std::vector<std::string> welcomers;
  welcomers.swap(early_welcomes);
  if (!wants_key() || pending()) return;
  for (const std::string& nick : welcomers) {
    if (!listed(nick) || nick == env.current_nick()) continue;
    remember(announced, nick);
    initiate(nick, "Initiating key exchange with " + nick + "...");
    return;
  }
  // Nobody welcomed us yet: should no welcome come, ask a holder we know of anyway, or
  // make the key ourselves.
  if (!round.deadline()) round.start_round_at(now() + RequestRound::kWelcomeWait);
}

void KeyExchange::Impl::tick() {
  const Clock::time_point t = now();
  if (pending() && round.answer_overdue(t)) {
    move_on(counterpart(), RequestRound::Outcome::NoAnswer);
    return;
  }
  if (pending() || !round.next_round_due(t)) return;
  round.restart();
  if (!wants_key()) return;
  if (const auto next = next_holder({})) {
    initiate(*next, "Initiating key exchange with " + *next + "...");
  } else if (names_complete && !other_holder_listed({})) {
    make_key_and_announce();
  }
}

KeyExchange::KeyExchange(ChannelSecurity& security, PeerKeyTable& peers,
                         ExchangeEnvironment& env, Now now)
    : impl_(std::make_unique<Impl>(security, peers, env, std::move(now))) {}
KeyExchange::~KeyExchange() = default;

bool KeyExchange::handle_message(const std::string& sender, const std::string& command,
                                 const std::string& text) {
  Impl& x = *impl_;
  const bool privmsg = command == "PRIVMSG";
  bool consumed = false;
  if (command == "NICK") {
    x.follow_nick_change(sender, text);
    x.move_mark(sender, text);
  }
  if ((command == "QUIT" || command == "PART") && x.pending() && x.is_counterpart(sender)) {
    x.partner_gone(sender);
  }
  // Waiting for a key: without one, or holding one while asking for a smaller one.
  const auto asking = [&x] { return x.security.channel_key().empty() || x.asking_as_holder(); };
  if (privmsg && text.starts_with(kBadauthMarker) && asking()) {
    consumed = x.refusal_received(sender, text);
  }
  if (privmsg && text.starts_with(kPublicMarker) && !x.security.channel_key().empty()) {
    x.answer_request(sender, text);
  }
  if (privmsg && x.pending() && asking()) {
    if (text.starts_with(kXpublicMarker)) x.holder_value_received(sender, text);
    if (!x.partner().empty() && sender == x.partner() && text.starts_with(kXkeyMarker)) {
      x.key_received(sender, text);
    }
  }
  if (text.starts_with(kXpublicMarker) || text.starts_with(kXkeyMarker) ||
      text.starts_with(kPublicMarker)) {
    consumed = true;
  }
  if (command == "JOIN" && sender != x.env.current_nick() &&
      x.peers.get(x.env.current_nick()) == 1 && !x.security.passphrase().empty()) {
    x.welcome(sender);
  }
  if (text.starts_with(kAuthenticatedMarker)) {
    x.announcement_received(sender, text);
    consumed = true;
  }
  return consumed;
}

void KeyExchange::handle_names_end() {
  Impl& x = *impl_;
  const std::vector<std::string> users = x.env.channel_users();
  const bool plain = x.security.passphrase().empty();
  if (plain) {
    for (const std::string& nick : users) x.peers.set(nick, 1);
  }
  const bool keyless = x.security.channel_key().empty();
  if (keyless) x.peers.set(x.env.current_nick(), 0);
  x.env.mark_user_list_dirty();
  x.names_complete = true;
  if (!plain && keyless && users.size() == 1) {
    x.early_welcomes.clear();
    x.become_keeper();
    return;
  }
  x.ask_early_welcomer();
}

void KeyExchange::initiate_exchange(const std::string& nick) {
  impl_->initiate(nick, "Initiating key exchange with " + nick + "...");
}

void KeyExchange::tick() { impl_->tick(); }

std::optional<KeyExchange::Clock::time_point> KeyExchange::next_deadline() const {
  return impl_->round.deadline();
}

bool KeyExchange::answer_wanted(const std::string& nick) const {
  const Impl& x = *impl_;
  if (x.peers.get(nick) != 1) return true;
  const auto check = x.key_checks.find(nick);
  return check != x.key_checks.end() && check->second != key_check(x.security.channel_key());
}

bool KeyExchange::exchange_pending() const { return impl_->pending(); }

std::string KeyExchange::exchange_partner() const { return impl_->partner(); }

}  // namespace velmora
