#include "tests/simulation/sim_actors.h"

#include <algorithm>

#include "secure/control_text.h"
#include "secure/dh_arith.h"

namespace velmora::sim {
namespace {

constexpr double kBurst = 5;
constexpr auto kLineInterval = std::chrono::seconds(1);

}  // namespace

HonestClient::HonestClient(World& world, Ledger& ledger, std::string nick,
                           std::string passphrase, std::uint64_t seed)
    : world_(world),
      ledger_(ledger),
      wanted_nick_(std::move(nick)),
      passphrase_(std::move(passphrase)),
      seed_(seed),
      entropy_(std::make_unique<LedgerEntropy>(seed, ledger)),
      machine_(std::make_unique<KeyAgreement>(*entropy_)) {}

void HonestClient::start(int side) {
  if (side >= 0) side_ = side;
  connect();
}

void HonestClient::connect() {
  session_ = world_.connect(*this, wanted_nick_, side_, true);
  nick_ = world_.nick(session_);
  machine_->connection_started(passphrase_, 0, nick_, kChannel, world_.now());
  tokens_ = kBurst;
  refilled_at_ = world_.now();
  join();
}

void HonestClient::join() {
  joins_.push_back(world_.now());
  world_.send(session_, {Command::Kind::Join, {}, {}});
}

void HonestClient::quit() {
  side_ = std::max(0, world_.side(session_));
  world_.send(session_, {Command::Kind::Quit, {}, {}});
  machine_->connection_ended();
}

void HonestClient::restart(Ms gap) {
  quit();
  ++restarts_;
  entropy_ = std::make_unique<LedgerEntropy>(seed_ + 7919 * restarts_, ledger_);
  machine_ = std::make_unique<KeyAgreement>(*entropy_);
  key_generation_ = 0;
  world_.after(gap, [this] { connect(); });
}

void HonestClient::reconnect(Ms gap, bool ghost_lingers) {
  const int old = session_;
  side_ = std::max(0, world_.side(old));
  machine_->connection_ended();
  session_ = -1;
  if (!ghost_lingers) world_.drop(old);
  world_.after(gap, [this] { connect(); });
  // The server notices the dead link later: the ghost's QUIT comes after our return.
  if (ghost_lingers) world_.after(gap + Ms(5000), [this, old] { world_.drop(old); });
}

void HonestClient::part_and_rejoin(Ms gap) {
  world_.send(session_, {Command::Kind::Part, {}, {}});
  world_.after(gap, [this] { join(); });
}

void HonestClient::change_nick(const std::string& nick) {
  world_.send(session_, {Command::Kind::Nick, nick, {}});
}

bool HonestClient::in_channel() const { return world_.in_channel(session_); }

void HonestClient::receive(int session, const Relayed& line) {
  if (session != session_) return;  // for an earlier connection
  const Time now = world_.now();
  KeyAgreement& m = *machine_;
  switch (line.kind) {
    case Relayed::Kind::Welcome:
      m.own_nick_is(line.nick);
      nick_ = line.nick;
      break;
    case Relayed::Kind::Join:
      if (line.nick != nick_) ++ledger_.joins;
      m.joined(line.nick, now);
      break;
    case Relayed::Kind::Part:
    case Relayed::Kind::Quit:
      m.left(line.nick, now);
      break;
    case Relayed::Kind::Nick:
      if (line.nick == nick_) nick_ = line.target;
      m.renamed(line.nick, line.target, now);
      break;
    case Relayed::Kind::Names:
      m.names(line.names, now);
      break;
    case Relayed::Kind::Privmsg:
      m.text_received(line.nick, "PRIVMSG", line.target == kChannel, line.text, now);
      break;
  }
  ledger_.peak_members = std::max(ledger_.peak_members, m.snapshot().members.size());
  note_key();
  pump();
}

void HonestClient::note_key() {
  if (world_.trace) {
    for (const std::string& text : machine_->take_statuses()) {
      if (!text.empty()) world_.trace(nick_ + ": " + text);
    }
  }
  if (machine_->key_generation() == key_generation_) return;
  if (world_.trace) world_.trace(nick_ + ": key " + machine_->channel_key().substr(0, 6));
  key_generation_ = machine_->key_generation();
  key_since_ = world_.now();
}

// Lines go out at the program's pace: as many as the tokens allow, then a look again
// when the next token is earned.
void HonestClient::pump() {
  if (session_ < 0) return;
  const Time now = world_.now();
  const double earned = std::chrono::duration<double>(now - refilled_at_) /
                        std::chrono::duration<double>(kLineInterval);
  tokens_ = std::min(kBurst, tokens_ + earned);
  refilled_at_ = now;
  while (tokens_ >= 1) {
    const auto line = machine_->next_line(now);
    if (!line) break;
    tokens_ -= 1;
    ++ledger_.lines_sent;
    if (line->target == kChannel) ledger_.channel_lines.push_back(world_.now());
    if (line->target != kChannel) {
      if (line->text.starts_with(kAuthenticatedMarker)) ++ledger_.welcome_lines;
      if (line->text.starts_with(kBadauthMarker)) ++ledger_.refusal_lines;
      if (line->target.starts_with("out")) ++ledger_.lines_to_outsiders;
    }
    world_.send(session_, {Command::Kind::Privmsg, line->target, line->text});
  }
  note_key();
  if (tokens_ < 1 && !pump_scheduled_) {
    pump_scheduled_ = true;
    const auto wait = std::chrono::duration_cast<Ms>(kLineInterval * (1 - tokens_)) + Ms(1);
    world_.after(wait, [this] {
      pump_scheduled_ = false;
      pump();
    });
  }
  schedule_timer();
}

void HonestClient::schedule_timer() {
  const auto deadline = machine_->next_deadline();
  const std::uint64_t generation = ++timer_generation_;
  if (!deadline) return;
  world_.at(*deadline, [this, generation] {
    if (generation != timer_generation_ || session_ < 0) return;
    machine_->tick(world_.now());
    pump();
  });
}

PlainUser::PlainUser(World& world, const std::string& nick)
    : world_(world), session_(world.connect(*this, nick)) {
  world_.send(session_, {Command::Kind::Join, {}, {}});
}

std::size_t Ledger::peak_channel_lines_per_second() const {
  std::size_t peak = 0;
  for (std::size_t first = 0, last = 0; last < channel_lines.size(); ++last) {
    while (channel_lines[last] - channel_lines[first] >= std::chrono::seconds(1)) ++first;
    peak = std::max(peak, last - first + 1);
  }
  return peak;
}

const char* attack_name(Attack attack) {
  static const char* const names[] = {"reflector", "silent-holder", "garbage", "small-check",
                                      "flood", "check-filler", "junk"};
  return names[static_cast<int>(attack)];
}

Adversary::Adversary(World& world, Attack attack, const std::string& nick, int lines)
    : world_(world), attack_(attack), session_(world.connect(*this, nick)), lines_left_(lines) {
  if (attack != Attack::CheckFiller) world_.send(session_, {Command::Kind::Join, {}, {}});
  if (attack == Attack::SmallCheck || attack == Attack::Flood || attack == Attack::CheckFiller ||
      attack == Attack::Junk) {
    world_.after(Ms(200), [this] { keep_going(); });
  }
}

void Adversary::say(const std::string& target, const std::string& text) {
  if (lines_left_-- <= 0 || target.empty()) return;
  world_.send(session_, {Command::Kind::Privmsg, target, text});
}

std::string Adversary::random_hex(std::size_t digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(digits, '0');
  for (char& c : out) c = kHex[world_.random(16)];
  return out;
}

void Adversary::receive(int session, const Relayed& line) {
  if (session != session_) return;
  const std::string own = world_.nick(session_);
  if (line.kind == Relayed::Kind::Names) members_ = line.names;
  if (line.kind == Relayed::Kind::Join && line.nick != own) {
    members_.push_back(line.nick);
    if (attack_ == Attack::Reflector || attack_ == Attack::SilentHolder) {
      say(line.nick, "@AUTHENTICATED " + heard_check_);
    }
  }
  if (line.kind != Relayed::Kind::Privmsg) return;
  const std::string& text = line.text;
  if (const std::string_view check = announced_key_check(text); !check.empty()) {
    heard_check_ = std::string(check);  // copied, to pass for a holder of the real key
  }
  if (line.target == kChannel || !text.starts_with(kPublicMarker)) return;
  if (attack_ == Attack::Reflector) say(line.nick, "@BADAUTH " + std::string(last_characters(text, 64)));
  if (attack_ == Attack::Garbage) {
    say(line.nick, "@XPUBLIC " + std::to_string(2 + world_.random(1000000)) + "123456789");
    say(line.nick, "@XKEY " + random_hex(144));
  }
}

// The attacks that need no cue, paced as the server paces them, until the lines run out.
void Adversary::keep_going() {
  if (lines_left_ <= 0 || !world_.online(session_)) return;
  const std::string someone =
      members_.empty() ? std::string() : members_[world_.random(members_.size())];
  switch (attack_) {
    case Attack::SmallCheck:
      say(kChannel, "@AUTHENTICATED 0000" + random_hex(12));
      world_.after(Ms(2000 + world_.random(3000)), [this] { keep_going(); });
      return;
    case Attack::Flood:
      say(someone, "@PUBLIC " + dh_generator + std::string(40, '7') + " " + random_hex(64));
      world_.after(Ms(300), [this] { keep_going(); });
      return;
    case Attack::CheckFiller:
      // From outside the channel, to the honest clients' nicks (h0, h1, ...).
      say("h" + std::to_string(world_.random(8)), "@AUTHENTICATED " + random_hex(16));
      world_.after(Ms(300), [this] { keep_going(); });
      return;
    default: {
      static const char* const kMarkers[] = {"@PUBLIC ", "@XPUBLIC ", "@XKEY ", "@BADAUTH ",
                                             "@AUTHENTICATED", "@CRYPTO "};
      const std::string text = kMarkers[world_.random(6)] + random_hex(world_.random(200));
      say(world_.random(2) ? std::string(kChannel) : someone, text);
      world_.after(Ms(500 + world_.random(1500)), [this] { keep_going(); });
      return;
    }
  }
}

}  // namespace velmora::sim
