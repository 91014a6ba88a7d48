// Seeded schedules of every family against the key agreement's promises. A failing
// seed is printed with the command that replays it, with its story:
//   VELMORA_SIM_FAMILY=<family> VELMORA_SIM_SEED=<seed>
//   tests/simulation/agreement_simulation_tests --gtest_also_run_disabled_tests
//     --gtest_filter=Simulation.DISABLED_Replay
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
  const int runs = runs_per_family();
  int failures = 0;
  for (int seed = 1; seed <= runs && failures < 3; ++seed) {
    const RunResult result = run_schedule(family, static_cast<std::uint64_t>(seed));
    if (result.ok()) continue;
    ++failures;
    ADD_FAILURE() << family_name(family) << " seed " << seed << ": " << result.failure
                  << "\n  replay: VELMORA_SIM_FAMILY=" << family_name(family)
                  << " VELMORA_SIM_SEED=" << seed
                  << " tests/simulation/agreement_simulation_tests --gtest_also_run_disabled_tests"
                  << " --gtest_filter=Simulation.DISABLED_Replay";
  }
}

INSTANTIATE_TEST_SUITE_P(Families, Simulation, ::testing::Range(0, kFamilies),
                         [](const auto& info) { return family_name(static_cast<Family>(info.param)); });

TEST(Simulation, DISABLED_Replay) {
  const char* family_text = std::getenv("VELMORA_SIM_FAMILY");
  const char* seed_text = std::getenv("VELMORA_SIM_SEED");
  Family family{};
  if (!family_text || !seed_text || !family_from_name(family_text, family)) {
    GTEST_SKIP() << "set VELMORA_SIM_FAMILY and VELMORA_SIM_SEED to replay one schedule";
  }
  const RunResult result = run_schedule(family, std::strtoull(seed_text, nullptr, 10), true);
  EXPECT_TRUE(result.ok()) << result.failure;
}

}  // namespace
}  // namespace velmora::sim
