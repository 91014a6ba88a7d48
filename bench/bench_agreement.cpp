// The key agreement over the simulation's seeded schedules, per family: virtual
// seconds from the channel's last membership change to one key for all honest clients
// (median and worst), lines the honest clients sent per join and welcome lines per
// join, the largest member table one kept, the most lines the honest clients sent to
// the channel in one second, and how many schedules broke a promise
// (0 expected). Each family runs VELMORA_SIM_RUNS seeds (default 200), from seed 1,
// like the tests.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tests/simulation/sim_schedule.h"

namespace velmora::sim {
namespace {

int runs() {
  const char* text = std::getenv("VELMORA_SIM_RUNS");
  return text ? std::max(1, std::atoi(text)) : 200;
}

void BM_family(benchmark::State& state) {
  const Family family = static_cast<Family>(state.range(0));
  state.SetLabel(family_name(family));
  for (auto _ : state) {
    std::vector<double> seconds;
    double lines = 0, welcomes = 0, joins = 0, peak = 0, failures = 0, channel_peak = 0;
    double throttled = 0;
    for (int seed = 1; seed <= runs(); ++seed) {
      const RunResult r = run_schedule(family, static_cast<std::uint64_t>(seed));
      failures += !r.ok();
      seconds.push_back(r.seconds_to_one_key);
      lines += static_cast<double>(r.ledger.lines_sent);
      welcomes += static_cast<double>(r.ledger.welcome_lines);
      joins += static_cast<double>(r.join_events);
      peak = std::max(peak, static_cast<double>(r.ledger.peak_members));
      throttled += static_cast<double>(r.throttled);
      channel_peak = std::max(channel_peak, static_cast<double>(r.ledger.peak_channel_lines_per_second()));
    }
    std::sort(seconds.begin(), seconds.end());
    state.counters["median_s"] = seconds[seconds.size() / 2];
    state.counters["worst_s"] = seconds.back();
    state.counters["lines_per_join"] = lines / std::max(joins, 1.0);
    state.counters["welcomes_per_join"] = welcomes / std::max(joins, 1.0);
    state.counters["peak_members"] = peak;
    state.counters["channel_lines_peak_s"] = channel_peak;
    state.counters["throttled"] = throttled;
    state.counters["failures"] = failures;
  }
}
BENCHMARK(BM_family)->DenseRange(0, kFamilies - 1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velmora::sim

BENCHMARK_MAIN();
