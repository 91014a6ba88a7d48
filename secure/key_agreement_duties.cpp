// What we owe the channel as a holder (welcomes, answers, refusals, announcements), and
// the order the lines go out in: our own request first, then an announcement, answers,
// welcomes, and refusals last.

#include <algorithm>
#include <unordered_set>

#include "secure/control_text.h"
#include "secure/dh_arith.h"
#include "secure/key_agreement_state.h"
#include "secure/nick_rank.h"
#include "secure/random_source.h"
#include "secure/entropy.h"
#include "secure/seal.h"
#include "secure/token.h"
#include "secure/transport_key.h"

namespace velmora {
namespace {

constexpr int kPrivateExponentBits = 160;
// Refusals to all members together; beyond this a minute, bogus requests go unanswered.
constexpr int kRefusalsPerMinute = 10;

using Time = KeyAgreement::Time;

}  // namespace

// A nick that joins and leaves again and again would queue itself again each time:
// past twice the channel's size, a queue keeps one entry per member still in it.
void KeyAgreement::Impl::queue_for(std::deque<std::string>& queue, const std::string& nick) {
  queue.push_back(nick);
  if (queue.size() <= 2 * members.size() + 16) return;
  std::unordered_set<std::string> seen;
  std::deque<std::string> kept;
  for (std::string& queued : queue) {
    if (members.contains(queued) && seen.insert(queued).second) kept.push_back(std::move(queued));
  }
  queue.swap(kept);
}

// The holders ranked first for this joiner's nick welcome it at once, the next ones a
// little later if it still has not announced our key; the rest stay quiet. Every holder
// ranks the holders of our key it knows of the same way, so a join costs about
// kWelcomers + kLateWelcomers lines however many hold the key.
void KeyAgreement::Impl::welcome(const std::string& joiner, Time now) {
  if (!holds_key()) return;
  const std::uint64_t mine = rendezvous_score(own, joiner);
  std::size_t rank = 0;
  for (const std::string& nick : members.nicks()) {
    if (nick == own || nick == joiner || !ours(members.find(nick)->check)) continue;
    const std::uint64_t theirs = rendezvous_score(nick, joiner);
    if (theirs > mine || (theirs == mine && nick < own)) ++rank;
  }
  if (rank >= kWelcomers + kLateWelcomers) return;
  AgreementMember* m = members.find(joiner);
  if (!m) return;
  m->welcome_due = rank < kWelcomers ? now : now + kLateWelcome;
  queue_for(welcome_order, joiner);
}

void KeyAgreement::Impl::announcement_heard(const std::string& sender, const std::string& check,
                                      bool to_channel, Time now) {
  if (!in_channel) {
    if (early.size() < kMaxEarlyAnnouncements) early.push_back({sender, check, to_channel});
    return;
  }
  AgreementMember* m = members.find(sender);
  if (!m) return;  // an outsider: nothing it says is kept
  m->announced = true;
  m->check = check;
  m->sent_unopened = false;  // what it holds now is what it says
  if (!to_channel && !holds_key()) welcomed_privately = true;
  if (ours(check)) {
    m->welcome_due.reset();
    // Someone told the channel our check: the difference we meant to point out is known.
    if (to_channel && announce_due && !announce_is_news) announce_due.reset();
  } else if (holds_key() && !check.empty() && check > own_check) {
    announce_difference(now);
  }
}

void KeyAgreement::Impl::request_received(const std::string& sender, const std::string& text,
                                          Time now) {
  if (!holds_key() || !in_channel) return;
  AgreementMember* m = members.find(sender);
  if (!m) return;  // outsiders are not answered at all, not even refused
  const std::string_view token = public_request_token(text);
  if (!token_accepted(passphrase_key, token)) {
    if (m->refused_at && now < *m->refused_at + kRefusalInterval) return;
    if (!m->refusal_due) queue_for(refusal_order, sender);
    m->refusal_due = true;
    m->refusal_token = std::string(token);
    return;
  }
  const std::string value(public_request_value(text));
  if (!is_valid_public_value(value)) return;
  m->asked_us = true;
  m->proven = true;
  if (ours(m->check)) m->check.clear();  // asking for it, it evidently does not hold it
  m->answer_value = value;
  if (!m->answer_due) queue_for(answer_order, sender);
  m->answer_due = true;
}

void KeyAgreement::Impl::announce_news(Time now) {
  announce_due = now;
  announce_is_news = true;
}

// A larger check was heard: our own is said once, after a random pause in which
// another holder of our key may say it for us, and at most once per kAnnounceInterval.
void KeyAgreement::Impl::announce_difference(Time now) {
  if (announce_due) return;
  const auto jitter = std::chrono::milliseconds(
      entropy.below(static_cast<std::uint32_t>(kAnnounceJitter.count()) + 1));
  Time due = now + jitter;
  if (last_announced_at) due = std::max(due, *last_announced_at + kAnnounceInterval);
  announce_due = due;
  announce_is_news = false;
}

// The members known to hold our key because they proved they know the passphrase (a
// good token, or our key from them); announcing it is not enough, anyone can.
bool KeyAgreement::Impl::within_holder_limit(const std::string& requester) const {
  if (max_users <= 0) return true;
  int holders = 1;  // ourselves
  for (const std::string& nick : members.nicks()) {
    const AgreementMember& m = *members.find(nick);
    if (nick != own && nick != requester && m.proven && ours(m.check)) ++holders;
  }
  return holders < max_users;
}

std::optional<AgreementLine> KeyAgreement::Impl::request_line(Time now) {
  for (KeyRequest& request : requests) {
    if (request.sent) continue;
    request.sent = true;
    request.sent_at = now;
    request.deadline = now + kAnswerWait;  // from now: it may have waited for the pace
    status("Initiating key exchange with " + request.target + "...");
    std::string text;
    text.swap(request.text);
    return AgreementLine{request.target, std::move(text)};
  }
  return std::nullopt;
}

std::optional<AgreementLine> KeyAgreement::Impl::announcement_line(Time now) {
  if (!announce_due || now < *announce_due) return std::nullopt;
  // Busy: later, at a random moment in a window that doubles each time (up to 8 s),
  // since others are likely waiting for the same gap.
  if (channel_busy(now)) {
    announce_backoff = std::min(announce_backoff * 2, 8000u);
    announce_due = now + std::chrono::milliseconds(100 + entropy.below(announce_backoff));
    return std::nullopt;
  }
  announce_backoff = 250;
  announce_due.reset();
  if (!holds_key() || !in_channel) return std::nullopt;
  last_announced_at = now;
  note_channel_line(now);
  return AgreementLine{channel, announcement(key)};
}

// Answers go first come, first served; one still waiting for a member that has since
// announced our key, or left, is dropped.
std::optional<AgreementLine> KeyAgreement::Impl::answer_line() {
  while (!answer_order.empty()) {
    const std::string nick = std::move(answer_order.front());
    answer_order.pop_front();
    AgreementMember* m = members.find(nick);
    if (!m || !m->answer_due || !holds_key()) continue;
    m->answer_due = false;
    if (ours(m->check) || !within_holder_limit(nick)) continue;
    const std::string exponent = random_integer(kPrivateExponentBits);
    if (exponent.empty()) {
      status("Key exchange with " + nick + " failed!");
      continue;
    }
    status("Exchanging key with " + nick + "...");
    const std::string value = mod_pow_decimal(dh_generator, exponent, dh_prime);
    const std::string secret = mod_pow_decimal(m->answer_value, exponent, dh_prime);
    BlowfishCipher transport;
    derive_transport_key(secret, passphrase_key, transport);
    follow_up = AgreementLine{nick, std::string(kXkeyMarker) + " " + seal_cbc(transport, key)};
    return AgreementLine{nick, std::string(kXpublicMarker) + " " + value};
  }
  return std::nullopt;
}

std::optional<AgreementLine> KeyAgreement::Impl::welcome_line(Time now) {
  for (auto at = welcome_order.begin(); at != welcome_order.end();) {
    AgreementMember* m = members.find(*at);
    const bool stale = !m || !m->welcome_due || ours(m->check) || !holds_key();
    if (stale) {
      if (m) m->welcome_due.reset();
      at = welcome_order.erase(at);
      continue;
    }
    if (now < *m->welcome_due) {
      ++at;
      continue;
    }
    const std::string nick = *at;
    welcome_order.erase(at);
    m->welcome_due.reset();
    if (m->welcomed_at && now < *m->welcomed_at + kWelcomeSpacing) return welcome_line(now);
    m->welcomed_at = now;
    return AgreementLine{nick, announcement(key)};
  }
  return std::nullopt;
}

std::optional<AgreementLine> KeyAgreement::Impl::refusal_line(Time now) {
  if (now >= refusal_window_start + std::chrono::minutes(1)) {
    refusal_window_start = now;
    refusals_in_window = 0;
  }
  while (!refusal_order.empty() && refusals_in_window < kRefusalsPerMinute) {
    const std::string nick = std::move(refusal_order.front());
    refusal_order.pop_front();
    AgreementMember* m = members.find(nick);
    if (!m || !m->refusal_due) continue;
    m->refusal_due = false;
    m->refused_at = now;
    ++refusals_in_window;
    return AgreementLine{nick, std::string(kBadauthMarker) + " " + m->refusal_token};
  }
  return std::nullopt;
}

std::optional<KeyAgreement::Time> KeyAgreement::Impl::next_welcome_due() const {
  std::optional<Time> next;
  for (const std::string& nick : welcome_order) {
    const AgreementMember* m = members.find(nick);
    if (m && m->welcome_due && (!next || *m->welcome_due < *next)) next = m->welcome_due;
  }
  return next;
}

}  // namespace velmora
