#include "tests/simulation/sim_schedule.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace velmora::sim {
namespace {

using Seconds = std::chrono::duration<double>;
constexpr auto kNoLockOut = std::chrono::seconds(20);
constexpr auto kQuiet = std::chrono::seconds(30);
constexpr Ms kProbeEvery{250};
constexpr int kAdversaryLines = 300;

// Everyone in one run, and the schedule's helpers.
struct Cast {
  explicit Cast(World& w, Ledger& l) : world(w), ledger(l) {}
  World& world;
  Ledger& ledger;
  std::vector<std::unique_ptr<HonestClient>> honest;
  std::vector<std::unique_ptr<PlainUser>> plain;
  std::vector<std::unique_ptr<Adversary>> adversaries;

  double uniform(double lo, double hi) { return lo + (hi - lo) * (world.random(1'000'000) / 1e6); }
  Time at(Time base, double seconds) {
    return base + std::chrono::duration_cast<Ms>(Seconds(seconds));
  }
  Ms gap(double lo, double hi) { return std::chrono::duration_cast<Ms>(Seconds(uniform(lo, hi))); }

  HonestClient& honest_at(Time when) {
    const std::string nick = "h" + std::to_string(honest.size());
    honest.push_back(std::make_unique<HonestClient>(world, ledger, nick, "pass", world.rng()()));
    HonestClient* client = honest.back().get();
    world.at(when, [this, client] { client->start(static_cast<int>(world.random(2))); });
    return *client;
  }
  void plain_at(Time when) {
    world.at(when, [this] {
      plain.push_back(std::make_unique<PlainUser>(world, "plain" + std::to_string(plain.size())));
    });
  }
  void adversary_at(Time when, Attack attack, const std::string& nick) {
    world.at(when, [this, attack, nick] {
      adversaries.push_back(std::make_unique<Adversary>(world, attack, nick, kAdversaryLines));
    });
  }
  HonestClient& any_honest() { return *honest[world.random(honest.size())]; }

  // One thing a user or the network does to a client.
  // Only a client in the channel: one already on its way back is left alone.
  void disturb(HonestClient& c) {
    if (!c.in_channel()) return;
    const std::uint64_t what = world.random(6);
    if (world.trace) {
      static const char* const kWhat[] = {"part and rejoin", "reconnect", "restart", "new nick",
                                          "newcomer", "quit and return"};
      world.trace("-- " + c.nick() + ": " + kWhat[what]);
    }
    switch (what) {
      case 0: c.part_and_rejoin(gap(0.2, 5)); break;
      case 1: c.reconnect(gap(1, 10), world.random(2) == 0); break;
      case 2: c.restart(gap(0.5, 20)); break;
      case 3: c.change_nick(c.nick() + "x"); break;
      case 4: honest_at(world.now()); break;
      default: {
        c.quit();
        world.after(gap(2, 15), [&c] { c.start(); });
      }
    }
  }
  void disturb_at(Time when) {
    world.at(when, [this] {
      if (!honest.empty()) disturb(any_honest());
    });
  }
};

Time joins(Cast& c, Time t0) {
  const int plain = static_cast<int>(c.world.random(3));
  for (int i = 0; i < plain; ++i) c.plain_at(t0);
  const int n = 2 + static_cast<int>(c.world.random(7));
  const double bunch = c.uniform(0, 25);
  Time last = t0;
  for (int i = 0; i < n; ++i) {
    const Time when = c.at(t0, c.world.random(10) < 3 ? bunch : c.uniform(0, 25));
    c.honest_at(when);
    last = std::max(last, when);
  }
  return last;
}

// Many at once beside an ordinary user, with or without a holder already there.
Time herd(Cast& c, Time t0) {
  c.plain_at(t0);
  if (c.world.random(2) == 0) c.honest_at(t0);
  const int n = 10 + static_cast<int>(c.world.random(31));
  const Time start = c.at(t0, 8);
  for (int i = 0; i < n; ++i) c.honest_at(c.at(start, c.uniform(0, 1)));
  return c.at(start, 1);
}

Time churn(Cast& c, Time t0) {
  const int n = 3 + static_cast<int>(c.world.random(6));
  for (int i = 0; i < n; ++i) c.honest_at(c.at(t0, c.uniform(0, 10)));
  const int events = 6 + static_cast<int>(c.world.random(10));
  Time last = t0;
  for (int i = 0; i < events; ++i) {
    const Time when = c.at(t0, c.uniform(15, 90));
    c.disturb_at(when);
    last = std::max(last, when);
  }
  return last;
}

Time one_split(Cast& c, Time from) {
  const Time split = c.at(from, c.uniform(0, 15));
  const Time heal = c.at(split, c.uniform(10, 40));
  const std::uint64_t salt = c.world.rng()();
  c.world.at(split, [&c, salt] {
    c.world.split([salt](const std::string& nick) { return (std::hash<std::string>{}(nick) ^ salt) & 1; });
  });
  const int during = static_cast<int>(c.world.random(4));
  for (int i = 0; i < during; ++i) c.disturb_at(c.at(split, c.uniform(1, 9)));
  // Every client on one side restarts: that side makes a key of its own.
  if (c.world.random(2) == 0) {
    c.world.at(c.at(split, 1), [&c] {
      for (auto& h : c.honest) {
        if (h->in_channel() && h->side() == 1) h->restart(c.gap(0.5, 3));
      }
    });
  }
  c.world.at(heal, [&c] { c.world.heal(); });
  return heal;
}

Time splits(Cast& c, Time t0) {
  const int n = 4 + static_cast<int>(c.world.random(7));
  for (int i = 0; i < n; ++i) c.honest_at(c.at(t0, c.uniform(0, 10)));
  Time last = one_split(c, c.at(t0, 20));
  if (c.world.random(2) == 0) last = one_split(c, last);
  return last;
}

Time attacks(Cast& c, Time t0) {
  const int kinds = 1 + static_cast<int>(c.world.random(4));
  for (int i = 0; i < kinds; ++i) {
    const auto attack = static_cast<Attack>(c.world.random(kAttackKinds));
    const std::string nick = (attack == Attack::CheckFiller ? "out" : "adv") + std::to_string(i);
    c.adversary_at(c.at(t0, c.uniform(0, 5)), attack, nick);
  }
  const int n = 2 + static_cast<int>(c.world.random(5));
  Time last = t0;
  for (int i = 0; i < n; ++i) {
    const Time when = c.at(t0, c.uniform(5, 40));
    // The nick squatted first: a reflector joins under it and leaves just before.
    if (c.world.random(10) < 3) {
      const std::string nick = "h" + std::to_string(c.honest.size());
      const Time squat = when - Ms(3000);
      c.adversary_at(squat, Attack::Reflector, nick);
      c.world.at(squat + Ms(1000), [&c] { c.adversaries.back()->part(); });
      c.world.at(squat + Ms(1500), [&c] { c.adversaries.back()->quit(); });
    }
    c.honest_at(when);
    last = std::max(last, when);
  }
  return last;
}

Time mixed(Cast& c, Time t0) {
  Time last = attacks(c, t0);
  const int events = 3 + static_cast<int>(c.world.random(6));
  for (int i = 0; i < events; ++i) {
    const Time when = c.at(t0, c.uniform(45, 80));
    c.disturb_at(when);
    last = std::max(last, when);
  }
  return std::max(last, one_split(c, c.at(t0, 50)));
}

Time schedule(Family family, Cast& c, Time t0) {
  switch (family) {
    case Family::Joins: return joins(c, t0);
    case Family::Herd: return herd(c, t0);
    case Family::Churn: return churn(c, t0);
    case Family::Splits: return splits(c, t0);
    case Family::Attacks: return attacks(c, t0);
    case Family::Mixed: return mixed(c, t0);
  }
  return t0;
}

// What one probe looks for, every kProbeEvery.
class Referee {
public:
  Referee(Cast& cast, RunResult& result) : c_(cast), result_(result) {}

  void probe() {
    const Time now = c_.world.now();
    for (std::size_t i = 0; i < c_.honest.size(); ++i) {
      const HonestClient& h = *c_.honest[i];
      if (h.holds_key() && !c_.ledger.honest_keys.contains(h.key())) {
        fail("safety: " + h.nick() + " holds a key no honest client made");
      }
      watch_lock_out(i, now);
    }
    if (agreed()) {
      if (!agreed_since_) agreed_since_ = now;
    } else {
      agreed_since_.reset();
    }
  }

  // All honest clients in the channel hold one key.
  bool agreed() const {
    std::optional<std::string> key;
    for (const auto& h : c_.honest) {
      if (!h->in_channel()) continue;
      if (!h->holds_key() || (key && *key != h->key())) return false;
      key = h->key();
    }
    return true;
  }
  std::optional<Time> agreed_since() const { return agreed_since_; }

  void fail(const std::string& why) {
    if (result_.failure.empty()) {
      result_.failure = why + " (at " + std::to_string(seconds(c_.world.now())) + " s)";
    }
  }
  static double seconds(Time t) { return Seconds(t - (Time{} + std::chrono::hours(1))).count(); }

private:
  struct Watch {
    Time joined{};
    bool exempt = false;
    bool done = true;
  };

  // A joiner with an honest holder beside it, all the way, must hold a key in 20 s.
  void watch_lock_out(std::size_t i, Time now) {
    if (watches_.size() <= i) watches_.resize(i + 1);
    Watch& w = watches_[i];
    const HonestClient& h = *c_.honest[i];
    if (!h.joined_at().empty() && h.joined_at().back() != w.joined) {
      w = {h.joined_at().back(), false, false};
      split_at_join_ = c_.world.split_now();
    }
    if (w.done) return;
    if (h.holds_key() && h.in_channel()) {
      w.done = true;
      return;
    }
    if (now < w.joined + Ms(500)) return;  // its JOIN is still on its way
    if (!h.in_channel() || c_.world.split_now() != split_at_join_ || !holder_beside(h)) {
      if (!w.exempt && c_.world.trace) c_.world.trace("exempt " + h.nick() + (h.in_channel() ? "" : " out") + (holder_beside(h) ? "" : " noholder"));
      w.exempt = true;
    }
    if (now >= w.joined + kNoLockOut) {
      w.done = true;
      if (!w.exempt) fail("lock-out: " + h.nick() + " joined at " + std::to_string(seconds(w.joined)) +
                          " s and held no key 20 s later, an honest holder beside it");
    }
  }

  bool holder_beside(const HonestClient& joiner) const {
    for (const auto& h : c_.honest) {
      if (h.get() != &joiner && h->in_channel() && h->holds_key() && h->side() == joiner.side()) {
        return true;
      }
    }
    return false;
  }

  Cast& c_;
  RunResult& result_;
  std::vector<Watch> watches_;
  bool split_at_join_ = false;
  std::optional<Time> agreed_since_;
};

void check_costs(const Cast& c, RunResult& result, Referee& referee, Time started) {
  const Ledger& l = c.ledger;
  if (l.welcome_lines > 6 * (result.join_events + 1)) {
    referee.fail("cost: " + std::to_string(l.welcome_lines) + " welcomes for " +
                 std::to_string(result.join_events) + " joins");
  }
  if (l.lines_to_outsiders > 0) {
    referee.fail("cost: " + std::to_string(l.lines_to_outsiders) + " lines to nicks outside the channel");
  }
  const double minutes = Seconds(c.world.now() - started).count() / 60;
  if (l.refusal_lines > c.honest.size() * (10 * minutes + 10)) {
    referee.fail("cost: " + std::to_string(l.refusal_lines) + " refusals");
  }
  const std::size_t everyone = c.honest.size() + c.plain.size() + c.adversaries.size();
  // Nick changes and ghosts give one participant two names for a while.
  if (l.peak_members > 2 * everyone + 1) {
    referee.fail("cost: a member table of " + std::to_string(l.peak_members) + " for " +
                 std::to_string(everyone) + " participants");
  }
}

}  // namespace

const char* family_name(Family family) {
  static const char* const names[] = {"joins", "herd", "churn", "splits", "attacks", "mixed"};
  return names[static_cast<int>(family)];
}

RunResult run_schedule(Family family, std::uint64_t seed, bool trace) {
  World world(seed);
  RunResult result;
  Cast cast(world, result.ledger);
  Referee referee(cast, result);
  if (trace) {
    world.trace = [&world](const std::string& what) {
      std::fprintf(stderr, "%9.3f %s\n", Referee::seconds(world.now()), what.c_str());
    };
  }
  const Time t0 = world.now();
  const Time end = schedule(family, cast, t0);
  std::function<void()> probe = [&] {
    referee.probe();
    world.after(kProbeEvery, probe);
  };
  world.at(t0, probe);
  // Quiet: nothing joins or leaves for kQuiet after the schedule's last action (later
  // reconnections move the mark on).
  world.run_until(end + kQuiet);
  while (world.now() < world.last_membership_change() + kQuiet + kProbeEvery) {
    world.run_until(world.last_membership_change() + kQuiet + kProbeEvery);
  }
  result.honest_clients = cast.honest.size();
  result.join_events = world.join_events();
  result.throttled = world.throttled();
  if (!referee.agreed()) {
    std::string keys;
    for (const auto& h : cast.honest) {
      if (h->in_channel()) keys += " " + h->nick() + "=" + (h->holds_key() ? h->key().substr(0, 6) : "-");
    }
    referee.fail("convergence: no single key 30 s after the channel went quiet:" + keys);
  } else if (const auto since = referee.agreed_since()) {
    result.seconds_to_one_key = std::max(0.0, Seconds(*since - world.last_membership_change()).count());
  }
  check_costs(cast, result, referee, t0);
  return result;
}

}  // namespace velmora::sim
