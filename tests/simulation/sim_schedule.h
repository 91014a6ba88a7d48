#pragma once
// Seeded schedules for the simulated channel, and the check of the key agreement's
// promises over each: safety (only keys honest clients made), no lock-out (a joiner
// with an honest holder beside it holds a key within 20 s), convergence (one key for
// all honest clients 30 s after the channel went quiet) and bounded cost.

#include <cstdint>
#include <string>

#include "tests/simulation/sim_actors.h"

namespace velmora::sim {

enum class Family { Joins, Herd, Churn, Splits, Attacks, Mixed };
inline constexpr int kFamilies = 6;
const char* family_name(Family family);

struct RunResult {
  std::string failure;           // the first promise broken, in words; empty when none
  double seconds_to_one_key = 0; // from the last membership change to one key for all
  std::size_t honest_clients = 0;
  std::uint64_t join_events = 0;
  std::uint64_t throttled = 0;  // lines a server like ircd-hybrid would have dropped
  Ledger ledger;
  bool ok() const { return failure.empty(); }
};

// Runs one schedule of `family` drawn from `seed`; with `trace`, tells its story on
// standard error.
RunResult run_schedule(Family family, std::uint64_t seed, bool trace = false);

}  // namespace velmora::sim
