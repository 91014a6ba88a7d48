// Our own side of the key agreement: finding a holder to ask, asking, giving up on a
// request in time, making a key when nobody holds one, and moving to a smaller key.

#include <algorithm>
#include <map>

#include "secure/control_text.h"
#include "secure/dh_arith.h"
#include "secure/entropy.h"
#include "secure/key_agreement_state.h"
#include "secure/channel_security.h"
#include "secure/nick_rank.h"
#include "secure/random_source.h"
#include "secure/seal.h"
#include "secure/token.h"
#include "secure/transport_key.h"

namespace velmora {
namespace {

constexpr int kPrivateExponentBits = 160;
// A search that many clients start at the same moment (all heard one announcement)
// spreads its first requests so that each holder is asked about this often a second:
// ircd-hybrid drops what passes 10 lines a second to one nick.
constexpr double kRequestsPerHolderSecond = 3.0;
constexpr auto kMaxSpread = std::chrono::seconds(12);

using Time = KeyAgreement::Time;

}  // namespace

void KeyAgreement::Impl::step(Time now) {
  last_now = std::max(last_now, now);
  if (plain || !in_channel) return;
  expire_requests(now);
  if (holds_key()) {
    reconcile(now);
  } else {
    seek(now);
  }
}

void KeyAgreement::Impl::expire_requests(Time now) {
  std::erase_if(requests, [&](const KeyRequest& request) {
    if (!request.sent || now < request.deadline) return false;
    if (AgreementMember* m = members.find(request.target)) {
      ++m->timeouts;
      m->retry_at = now + kRetryAfterTimeout;
    }
    status("No answer from " + request.target + ".");
    return true;
  });
}

// A member we may count on to hold a key: it said so, and has not let us down. One
// that kept us waiting kCredibleWait may still answer, and be asked again later, but no
// longer keeps us from making a key of our own: anyone can say "@AUTHENTICATED" and
// then stay silent.
bool KeyAgreement::Impl::credible(const std::string& nick, const AgreementMember& m,
                                  Time now) const {
  if (nick == own || !m.announced || m.failed || m.timeouts > 0) return false;
  return std::none_of(requests.begin(), requests.end(), [&](const KeyRequest& r) {
    return r.target == nick && r.sent && r.secret.empty() && now >= r.sent_at + kCredibleWait;
  });
}

// A member we may ask now: it said it holds a key, we are not asking it already, and
// any pause after it let us down is over.
bool KeyAgreement::Impl::candidate(const std::string& nick, const AgreementMember& m,
                                   Time now) const {
  if (nick == own || !m.announced || now < m.retry_at) return false;
  return std::none_of(requests.begin(), requests.end(),
                      [&](const KeyRequest& r) { return r.target == nick; });
}

// When our next request may go. While one is out: an interval after the last, long
// enough that `wanting` members asking the `holders` at that pace ask each holder at
// most kRequestsPerHolderSecond (ircd-hybrid drops what passes ten a second to one
// nick), but at least kStagger. The first of a search, when no holder spoke to us
// privately: at a random place in that interval, since all may have heard one
// announcement at once. When more holders announce, the interval shrinks and what is
// left of our wait shrinks with it, so the pace per holder stays and nobody's place
// falls due all at once. With nothing out (refused, failed, gone): at once.
bool KeyAgreement::Impl::request_due(std::size_t holders, std::size_t wanting, Time now) {
  using Ms = std::chrono::milliseconds;
  const double seconds = std::clamp(
      wanting / (kRequestsPerHolderSecond * static_cast<double>(std::max<std::size_t>(holders, 1))),
      std::chrono::duration<double>(kStagger).count(),
      std::chrono::duration<double>(kMaxSpread).count());
  const Ms interval(static_cast<long>(seconds * 1000));
  if (!requests.empty() && last_request_at) {
    request_due_at = *last_request_at + interval;
  } else if (!last_request_at && !welcomed_privately) {
    if (!search_started) {
      search_started = now;
      request_due_at = now + Ms(interval.count() * entropy.below(1000) / 1000);
    } else if (request_due_at && *request_due_at > now && interval != spread_interval &&
               spread_interval.count() > 0) {
      const auto left = std::chrono::duration_cast<Ms>(*request_due_at - now);
      request_due_at = now + Ms(left.count() * interval.count() / spread_interval.count());
    }
    spread_interval = interval;
  } else {
    request_due_at = now;
  }
  return now >= *request_due_at;
}

// Without a key, any key will do: we ask a holder of the key most members announced
// (the smallest check among equals), so a search is not led astray by a few voices,
// and one that has not kept us waiting before, while there is such a one.
std::optional<std::string> KeyAgreement::Impl::choose_any_holder(Time now) {
  std::map<std::string, std::size_t> voices;  // check -> announcers
  std::vector<std::string> pool;
  std::size_t wanting = 0;
  bool any_credible = false;
  for (const std::string& nick : members.nicks()) {
    const AgreementMember& m = *members.find(nick);
    if (nick != own && m.announced && !m.failed) ++voices[m.check];
    if (!m.announced) ++wanting;
    if (!candidate(nick, m, now)) continue;
    pool.push_back(nick);
    any_credible = any_credible || credible(nick, m, now);
  }
  if (any_credible) {
    std::erase_if(pool, [&](const std::string& nick) { return !credible(nick, *members.find(nick), now); });
  }
  // A bare announcement (an older client) is taken only when no check is offered.
  const auto better = [&](const std::string& a, const std::string& b) {
    if (a.empty() != b.empty()) return !a.empty();
    return voices[a] != voices[b] ? voices[a] > voices[b] : a < b;
  };
  std::string best_check;
  bool first = true;
  for (const std::string& nick : pool) {
    const std::string& check = members.find(nick)->check;
    if (first || better(check, best_check)) best_check = check;
    first = false;
  }
  std::erase_if(pool, [&](const std::string& nick) { return members.find(nick)->check != best_check; });
  if (pool.empty() || !request_due(voices[best_check], wanting, now)) return std::nullopt;
  return pool[entropy.below(static_cast<std::uint32_t>(pool.size()))];
}

void KeyAgreement::Impl::seek(Time now) {
  if (now < names_at + kGather) return;
  bool holder_known = false;
  for (const std::string& nick : members.nicks()) {
    holder_known = holder_known || credible(nick, *members.find(nick), now);
  }
  if (holder_known) holder_seen_at = now;
  if (const auto nick = choose_any_holder(now)) {
    open_request(*nick, {}, now);
    return;
  }
  if (!holder_known && now >= maker_due()) make_key(now, true);
}

// Holding a key, we move to the smallest check announced below ours: only a member who
// announced it is asked, and ours stays until the smaller key has arrived.
void KeyAgreement::Impl::reconcile(Time now) {
  std::string target;
  std::vector<std::string> holders;
  std::size_t wanting = 0, announcers = 0;
  for (const std::string& nick : members.nicks()) {
    const AgreementMember& m = *members.find(nick);
    if (nick == own || m.check.empty() || m.check >= own_check) continue;
    if (!candidate(nick, m, now)) continue;
    if (target.empty() || m.check < target) {
      target = m.check;
      holders.clear();
    }
    if (m.check == target) holders.push_back(nick);
  }
  if (target.empty()) {
    end_search();
    return;
  }
  for (const std::string& nick : members.nicks()) {
    const bool holds = members.find(nick)->check == target;
    wanting += !holds;
    announcers += holds;
  }
  if (!request_due(announcers, wanting, now)) return;
  open_request(holders[entropy.below(static_cast<std::uint32_t>(holders.size()))], target, now);
}

// The oldest request gives way when kMaxOpenRequests are out: a holder that has not
// answered in 2 x kStagger is likely busy with others, and its answer is still taken
// should it come before the new one's.
void KeyAgreement::Impl::open_request(const std::string& nick, const std::string& wanted_check,
                                      Time now) {
  if (requests.size() >= kMaxOpenRequests) {
    if (AgreementMember* m = members.find(requests.front().target)) {
      m->retry_at = now + kRetryAfterTimeout;
    }
    requests.erase(requests.begin());
  }
  last_request_at = now;
  const std::string exponent = random_integer(kPrivateExponentBits);
  const std::string value =
      exponent.empty() ? std::string() : mod_pow_decimal(dh_generator, exponent, dh_prime);
  AgreementMember* m = members.find(nick);
  if (value.empty() || !m) {
    status("Key exchange with " + nick + " failed!");
    if (m) m->retry_at = now + kRetryAfterFailure;
    return;
  }
  const std::string token = make_random_token(passphrase_key);
  KeyRequest request;
  request.target = nick;
  request.wanted_check = wanted_check;
  request.exponent = exponent;
  request.text = std::string(kPublicMarker) + " " + value + " " + token;
  requests.push_back(std::move(request));
}

KeyRequest* KeyAgreement::Impl::request_to(const std::string& nick) {
  for (KeyRequest& request : requests) {
    if (request.target == nick) return &request;
  }
  return nullptr;
}

void KeyAgreement::Impl::close_request(const std::string& nick) {
  std::erase_if(requests, [&](const KeyRequest& r) { return r.target == nick; });
}

void KeyAgreement::Impl::end_search() {
  request_due_at.reset();
  search_started.reset();
  last_request_at.reset();
}

// With nobody around who holds a key, the member first by nick hash makes it, the next
// kMakerStep later, and so on: whoever hears another's announcement first asks for
// that key instead. Counted from the last moment a holder seemed to be around.
KeyAgreement::Time KeyAgreement::Impl::maker_due() const {
  const std::uint64_t mine = nick_hash(own);
  int rank = 0;
  for (const std::string& nick : members.nicks()) {
    if (nick != own && nick_hash(nick) < mine) ++rank;
  }
  return std::max(names_at, holder_seen_at) + kMakerWait +
         kMakerStep * std::min(rank, kMakerRanks);
}

void KeyAgreement::Impl::make_key(Time now, bool announce) {
  const std::string made = entropy.channel_key();
  if (made.empty()) return;  // no randomness: stay without a key rather than use a weak one
  adopt(made, now);
  if (!announce) announce_due.reset();
  status("");
}

// A key of ours, new or smaller than the one we had: requests it makes pointless go,
// and the channel hears of it.
void KeyAgreement::Impl::adopt(const std::string& new_key, Time now) {
  key = new_key;
  own_check = key_check(new_key);
  ++generation;
  std::erase_if(requests, [&](const KeyRequest& r) {
    return r.wanted_check.empty() || r.wanted_check >= own_check;
  });
  if (requests.empty()) end_search();
  announce_news(now);
}

void KeyAgreement::Impl::holder_value(const std::string& sender, const std::string& text) {
  KeyRequest* request = request_to(sender);
  if (!request || !request->sent || !request->secret.empty()) return;
  const std::string value(text_after(text, kXpublicMarker.size() + 1));
  // Only a value in 2..p-2 keeps the secret out of a tiny subgroup.
  if (!is_valid_public_value(value)) return;
  request->secret = mod_pow_decimal(value, request->exponent, dh_prime);
}

// One "@XKEY" per request: one that does not open to a well-formed key ends the
// request, so nobody can try their luck again and again.
void KeyAgreement::Impl::key_arrived(const std::string& sender, const std::string& text,
                                     Time now) {
  KeyRequest* request = request_to(sender);
  if (!request || request->secret.empty()) return;
  BlowfishCipher transport;
  derive_transport_key(request->secret, passphrase_key, transport);
  const std::string received = open_cbc(transport, text_after(text, kXkeyMarker.size() + 1));
  close_request(sender);
  AgreementMember* m = members.find(sender);
  if (!well_formed_channel_key(received)) {
    status("Key exchange with " + sender + " failed!");
    if (m) {
      m->failed = true;
      m->retry_at = now + kRetryAfterFailure;
    }
    return;
  }
  const std::string check = key_check(received);
  if (m) {
    m->proven = true;
    m->announced = true;
    m->check = check;
    m->failed = false;
    m->timeouts = 0;
  }
  if (holds_key() && check >= own_check) return;
  adopt(received, now);
  status("Key exchange complete!");
}

// A refusal that carries a token made under our passphrase: the holder does not share
// it. Its part ends here; any other holder may still be asked.
void KeyAgreement::Impl::refused(const std::string& sender, const std::string& text, Time now) {
  if (!token_accepted(passphrase_key, last_characters(text, kTokenDigits))) return;
  status(sender + " has cancelled the key exchange as your authentication keys do not match!");
  if (!request_to(sender)) return;
  close_request(sender);
  if (AgreementMember* m = members.find(sender)) {
    m->failed = true;
    m->retry_at = now + kRetryAfterFailure;
  }
}

}  // namespace velmora
