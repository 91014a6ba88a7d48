// Seeded schedules of every family against the key agreement's promises. A failing
// seed is printed with the command that replays it alone, telling its story:
//   VELMORA_SIM_SEED=<seed> tests/simulation/agreement_simulation_tests
//     --gtest_filter='*/<family>'
// VELMORA_SIM_RUNS sets how many seeds each family runs (default 200).

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/simulation/sim_schedule.h"

namespace velmora::sim {
namespace {

int runs_per_family() {
  const char* runs = std::getenv("VELMORA_SIM_RUNS");
  return runs ? std::atoi(runs) : 200;
}

class Simulation : public ::testing::TestWithParam<int> {};

TEST_P(Simulation, EveryScheduleKeepsThePromises) {
  const Family family = static_cast<Family>(GetParam());
  if (const char* replay = std::getenv("VELMORA_SIM_SEED")) {
    const RunResult result = run_schedule(family, std::strtoull(replay, nullptr, 10), true);
    EXPECT_TRUE(result.ok()) << result.failure;
    return;
  }
  const int runs = runs_per_family();
  int failures = 0;
  for (int seed = 1; seed <= runs && failures < 3; ++seed) {
    const RunResult result = run_schedule(family, static_cast<std::uint64_t>(seed));
    if (result.ok()) continue;
    ++failures;
    ADD_FAILURE() << family_name(family) << " seed " << seed << ": " << result.failure
                  << "\n  replay: VELMORA_SIM_SEED=" << seed
                  << " tests/simulation/agreement_simulation_tests --gtest_filter='*/"
                  << family_name(family) << "'";
  }
}

INSTANTIATE_TEST_SUITE_P(Families, Simulation, ::testing::Range(0, kFamilies),
                         [](const auto& info) { return family_name(static_cast<Family>(info.param)); });

}  // namespace
}  // namespace velmora::sim
