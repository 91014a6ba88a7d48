// What the server says, fed to the key agreement, and what the rest of the program reads
// of it. The rules themselves are in key_agreement_seeking.cpp and
// key_agreement_duties.cpp.

#include "secure/key_agreement.h"

#include <algorithm>

#include "secure/control_text.h"
#include "secure/entropy.h"
#include "secure/key_agreement_state.h"
#include "secure/token.h"

namespace velmora {
namespace {

constexpr std::string_view kPlainModeKey = " ";

bool is_control_text(std::string_view text) {
  return text.starts_with(kPublicMarker) || text.starts_with(kXpublicMarker) ||
         text.starts_with(kXkeyMarker) || text.starts_with(kAuthenticatedMarker) ||
         text.starts_with(kBadauthMarker);
}

}  // namespace

KeyAgreement::Impl::Impl(Entropy& e) : entropy(e), passphrase_key(passphrase_cipher("")) {}

void KeyAgreement::Impl::reset_connection() {
  in_channel = false;
  members.clear();
  early.clear();
  requests.clear();
  last_request_at.reset();
  request_due_at.reset();
  search_started.reset();
  welcomed_privately = false;
  answer_order.clear();
  welcome_order.clear();
  refusal_order.clear();
  follow_up.reset();
  announce_due.reset();
  last_announced_at.reset();
}

void KeyAgreement::Impl::forget_old_channel_lines(Time now) {
  while (!channel_lines.empty() && now - channel_lines.front() >= std::chrono::seconds(1)) {
    channel_lines.pop_front();
  }
}

// Kept up to twice the rate that makes the channel busy: enough to tell.
void KeyAgreement::Impl::note_channel_line(Time now) {
  forget_old_channel_lines(now);
  if (channel_lines.size() < 2 * kChannelLinesPerSecond) channel_lines.push_back(now);
}

bool KeyAgreement::Impl::channel_busy(Time now) {
  forget_old_channel_lines(now);
  return channel_lines.size() >= static_cast<std::size_t>(kChannelLinesPerSecond);
}

// Out of the channel: nobody is known to be there, and nothing we owed matters.
void KeyAgreement::Impl::leave_channel() {
  const std::optional<Time> announced = last_announced_at;
  reset_connection();
  last_announced_at = announced;
}

KeyAgreement::KeyAgreement(Entropy& entropy) : impl_(std::make_unique<Impl>(entropy)) {}
KeyAgreement::~KeyAgreement() = default;

// A key made under another passphrase belongs to another group, and the plain-mode key
// " " is no channel key at all: neither is kept once a passphrase is in use.
void KeyAgreement::connection_started(const std::string& passphrase, int max_users,
                                      const std::string& own_nick, const std::string& channel,
                                      Time now) {
  Impl& x = *impl_;
  x.reset_connection();
  const bool plain = passphrase.empty();
  const std::string previous_key = x.key;
  if (plain) {
    x.key = std::string(kPlainModeKey);
    x.own_check.clear();
  } else if (x.plain || passphrase != x.passphrase) {
    x.key.clear();
    x.own_check.clear();
  }
  if (x.key != previous_key) ++x.generation;
  if (passphrase != x.passphrase) x.passphrase_key = passphrase_cipher(passphrase);
  x.passphrase = passphrase;
  x.plain = plain;
  x.max_users = max_users;
  x.own = own_nick;
  x.channel = channel;
  x.last_now = now;
}

void KeyAgreement::connection_ended() { impl_->reset_connection(); }

void KeyAgreement::own_nick_is(const std::string& nick) {
  Impl& x = *impl_;
  if (nick.empty() || nick == x.own) return;
  x.members.rename(x.own, nick);
  x.own = nick;
}

void KeyAgreement::channel_is(const std::string& channel) {
  impl_->channel = channel;
  impl_->leave_channel();  // its names list follows the JOIN there
}

void KeyAgreement::names(const std::vector<std::string>& members, Time now) {
  Impl& x = *impl_;
  x.members.replace(members);
  if (!x.members.contains(x.own)) {
    x.members.replace([&] {
      std::vector<std::string> with_us = members;
      with_us.push_back(x.own);
      return with_us;
    }());
  }
  if (!x.in_channel) {
    x.in_channel = true;
    x.names_at = now;
    x.holder_seen_at = now;
    std::vector<EarlyAnnouncement> early;
    early.swap(x.early);
    for (const EarlyAnnouncement& heard : early) x.announcement_heard(heard.nick, heard.check, heard.to_channel, now);
    if (!x.plain && x.holds_key() && x.members.size() > 1) x.announce_news(now);
    if (!x.plain && !x.holds_key() && x.members.size() == 1) x.make_key(now, false);
  }
  x.step(now);
}

void KeyAgreement::joined(const std::string& nick, Time now) {
  Impl& x = *impl_;
  if (nick == x.own) {  // our own JOIN: the names list that follows says who is there
    x.leave_channel();
    return;
  }
  if (!x.in_channel || nick.empty()) return;
  x.members.add(nick);
  x.welcome(nick, now);
  x.step(now);
}

void KeyAgreement::left(const std::string& nick, Time now) {
  Impl& x = *impl_;
  if (nick == x.own) {
    x.leave_channel();
    return;
  }
  x.members.remove(nick);
  x.close_request(nick);  // only it could answer that one
  x.step(now);
}

void KeyAgreement::renamed(const std::string& from, const std::string& to, Time now) {
  Impl& x = *impl_;
  if (to.empty()) return;
  if (from == x.own) x.own = to;
  x.members.rename(from, to);
  for (KeyRequest& request : x.requests) {
    if (request.target == from) request.target = to;
  }
  for (auto* queue : {&x.answer_order, &x.welcome_order, &x.refusal_order}) {
    std::replace(queue->begin(), queue->end(), from, to);
  }
  if (x.follow_up && x.follow_up->target == from) x.follow_up->target = to;
  x.step(now);
}

bool KeyAgreement::text_received(const std::string& sender, const std::string& command,
                                 bool to_channel, const std::string& text, Time now) {
  Impl& x = *impl_;
  if (to_channel) x.note_channel_line(now);
  if (!is_control_text(text)) return false;
  x.last_now = now;
  if (x.plain || sender.empty() || sender == x.own) return true;
  if (text.starts_with(kAuthenticatedMarker)) {
    x.announcement_heard(sender, std::string(announced_key_check(text)), to_channel, now);
  } else if (command == "PRIVMSG" && !to_channel) {
    if (text.starts_with(kXpublicMarker)) {
      x.holder_value(sender, text);
    } else if (text.starts_with(kXkeyMarker)) {
      x.key_arrived(sender, text, now);
    } else if (text.starts_with(kPublicMarker)) {
      x.request_received(sender, text, now);
    } else if (text.starts_with(kBadauthMarker)) {
      x.refused(sender, text, now);
    }
  }
  x.step(now);
  return true;
}

bool KeyAgreement::sealed_line_from(const std::string& sender, bool opened) {
  AgreementMember* m = impl_->members.find(sender);
  if (!m || m->sent_unopened == !opened) return false;
  m->sent_unopened = !opened;
  return true;
}

void KeyAgreement::tick(Time now) { impl_->step(now); }

std::optional<KeyAgreement::Time> KeyAgreement::next_deadline() const {
  const Impl& x = *impl_;
  std::optional<Time> next;
  const auto consider = [&](std::optional<Time> t) {
    if (t && *t > x.last_now && (!next || *t < *next)) next = t;
  };
  for (const KeyRequest& request : x.requests) {
    if (request.sent) consider(request.deadline);
    if (request.sent && request.secret.empty()) consider(request.sent_at + kCredibleWait);
  }
  consider(x.announce_due);
  consider(x.next_welcome_due());
  if (x.plain || !x.in_channel) return next;
  consider(x.names_at + kGather);
  consider(x.request_due_at);
  if (!x.holds_key()) consider(x.maker_due());
  for (const std::string& nick : x.members.nicks()) consider(x.members.find(nick)->retry_at);
  return next;
}

std::optional<AgreementLine> KeyAgreement::next_line(Time now) {
  Impl& x = *impl_;
  x.last_now = std::max(x.last_now, now);
  if (x.follow_up) {
    AgreementLine line = std::move(*x.follow_up);
    x.follow_up.reset();
    x.status("Key exchange complete with " + line.target + ".");
    return line;
  }
  if (auto line = x.request_line(now)) return line;
  if (auto line = x.announcement_line(now)) return line;
  if (auto line = x.answer_line()) return line;
  if (auto line = x.welcome_line(now)) return line;
  return x.refusal_line(now);
}

const std::string& KeyAgreement::channel_key() const { return impl_->key; }
bool KeyAgreement::holds_key() const { return impl_->holds_key(); }
std::uint64_t KeyAgreement::key_generation() const { return impl_->generation; }

AgreementSnapshot KeyAgreement::snapshot() const {
  const Impl& x = *impl_;
  AgreementSnapshot out;
  out.plain = x.plain;
  out.holds_key = x.holds_key();
  out.own_check = x.own_check;
  out.members.reserve(x.members.size());
  for (const std::string& nick : x.members.nicks()) {
    const AgreementMember& m = *x.members.find(nick);
    MemberView view{nick, MemberKey::Ordinary, m.check, m.sent_unopened};
    if (nick == x.own) {
      view.key = x.holds_key() ? MemberKey::Ours : MemberKey::Waiting;
      view.check = x.own_check;
      view.unopened = false;
    } else if (x.ours(m.check) && !m.sent_unopened) {
      view.key = MemberKey::Ours;
    } else if (!m.check.empty() || m.sent_unopened) {
      view.key = MemberKey::Other;
    } else if (m.announced) {
      view.key = MemberKey::Unchecked;
    } else if (m.asked_us) {
      view.key = MemberKey::Waiting;
    }
    out.members.push_back(std::move(view));
  }
  return out;
}

std::vector<std::string> KeyAgreement::take_statuses() {
  std::vector<std::string> out;
  out.swap(impl_->statuses);
  return out;
}

}  // namespace velmora
