#pragma once
// Who takes part in a simulated channel: honest clients (the real key agreement, fed by
// the simulated server, sending at the program's own pace), ordinary IRC users, and
// adversaries without the passphrase, each scripted from an attack seen on real servers.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "secure/entropy.h"
#include "secure/key_agreement.h"
#include "tests/simulation/sim_world.h"

namespace velmora::sim {

// Ground truth across a run: every key an honest client made, and what it cost.
struct Ledger {
  std::set<std::string> honest_keys;
  std::uint64_t lines_sent = 0;      // by honest clients
  std::uint64_t welcome_lines = 0;   // private "@AUTHENTICATED" by honest clients
  std::uint64_t refusal_lines = 0;
  std::uint64_t lines_to_outsiders = 0;  // to the nicks of attackers that never joined
  std::uint64_t joins = 0;           // JOINs honest clients saw of others
  std::size_t peak_members = 0;      // the largest member table an honest client kept
  std::vector<Time> channel_lines;   // when honest clients' lines to the channel went out
  // The most honest lines to the channel in any one second (ircd-hybrid throttles a
  // channel past ten).
  std::size_t peak_channel_lines_per_second() const;
};

// An honest client's randomness, with every key it makes written down.
class LedgerEntropy : public Entropy {
public:
  LedgerEntropy(std::uint64_t seed, Ledger& ledger) : seeded_(seed), ledger_(ledger) {}
  std::string channel_key() override {
    std::string key = seeded_.channel_key();
    ledger_.honest_keys.insert(key);
    return key;
  }
  std::uint32_t below(std::uint32_t bound) override { return seeded_.below(bound); }

private:
  SeededEntropy seeded_;
  Ledger& ledger_;
};

class HonestClient : public Actor {
public:
  HonestClient(World& world, Ledger& ledger, std::string nick, std::string passphrase,
               std::uint64_t seed);

  // Connects and joins (on `side` during a split, else where it was); the others are what a user or the
  // network does to it.
  void start(int side = -1);
  void quit();
  // The process starts again: a new machine, without the key; back after `gap`.
  void restart(Ms gap);
  // The link drops; the same machine reconnects after `gap` (the key kept), perhaps
  // under an alternative nick while its ghost lingers.
  void reconnect(Ms gap, bool ghost_lingers);
  void part_and_rejoin(Ms gap);
  void change_nick(const std::string& nick);

  bool in_channel() const;
  bool holds_key() const { return machine_->holds_key(); }
  const std::string& key() const { return machine_->channel_key(); }
  std::string nick() const { return world_.nick(session_); }
  int side() const { return world_.side(session_); }
  const KeyAgreement& machine() const { return *machine_; }
  // Joins of this client: when it sent each JOIN.
  const std::vector<Time>& joined_at() const { return joins_; }
  // When its key last changed while in the channel.
  std::optional<Time> key_since() const { return key_since_; }

  void receive(int session, const Relayed& line) override;

private:
  void connect();
  void join();
  void pump();
  void schedule_timer();
  void note_key();

  World& world_;
  Ledger& ledger_;
  std::string wanted_nick_;
  std::string passphrase_;
  std::uint64_t seed_;
  int restarts_ = 0;
  std::unique_ptr<LedgerEntropy> entropy_;
  std::unique_ptr<KeyAgreement> machine_;
  int session_ = -1;
  int side_ = 0;  // where it comes back during a split
  std::string nick_;
  std::vector<Time> joins_;
  std::optional<Time> key_since_;
  std::uint64_t key_generation_ = 0;
  // The program's send pace: a burst of five, then one line a second.
  double tokens_ = 5;
  Time refilled_at_{};
  bool pump_scheduled_ = false;
  std::uint64_t timer_generation_ = 0;
};

// An ordinary IRC user: joins, says nothing.
class PlainUser : public Actor {
public:
  PlainUser(World& world, const std::string& nick);
  void receive(int, const Relayed&) override {}
  void quit() { world_.send(session_, {Command::Kind::Quit, {}, {}}); }

private:
  World& world_;
  int session_;
};

enum class Attack {
  Reflector,     // welcomes every joiner, then refuses its request with its own token
  SilentHolder,  // welcomes every joiner with the channel's check, never answers
  Garbage,       // answers requests with values and keys of no meaning
  SmallCheck,    // announces a check smaller than any real one, again and again
  Flood,         // bogus requests to the holders, as fast as the server lets it
  CheckFiller,   // private announcements with random checks, from outside the channel
  Junk,          // random control texts to the channel and to members
};
inline constexpr int kAttackKinds = 7;
const char* attack_name(Attack attack);

class Adversary : public Actor {
public:
  // Joins the channel unless the attack works from outside. Acts for `lines` lines at
  // most (every flood is bounded).
  Adversary(World& world, Attack attack, const std::string& nick, int lines);
  void receive(int session, const Relayed& line) override;
  void part() { world_.send(session_, {Command::Kind::Part, {}, {}}); }
  void quit() { world_.send(session_, {Command::Kind::Quit, {}, {}}); }

private:
  void say(const std::string& target, const std::string& text);
  void keep_going();
  std::string random_hex(std::size_t digits);

  World& world_;
  Attack attack_;
  int session_;
  int lines_left_;
  std::string heard_check_ = "ffffffffffffffff";
  std::vector<std::string> members_;
};

}  // namespace velmora::sim
