// A join/part flood through a local ngircd with its default flood penalties: 20 plain
// connections each join and leave the channel 10 times while a Velmora holder sits in
// it. Then the holder's user types a line: the time until an observer in the channel
// sees it, against the same line in a quiet channel; and how many names requests and
// welcomes the holder sent meanwhile.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/raw_client.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Seconds from the typed line to the observer seeing it.
double typed_line_delay(bool flood, double& names, double& welcomes) {
  test_support::NgircdOptions options;
  options.penalties = true;
  test_support::NgircdServer server(options);
  test_support::TempFolder folder;
  folder.write("setup.ini", "SERVER=127.0.0.1\nPORT=" + std::to_string(server.port()) +
                                "\nCHANNEL=#flood\nNICK=holder\nKEY=pass\n");
  AppState holder(folder.path(), folder.file("setup.ini"));
  holder.start_connection();  // alone, it makes the key: a holder welcomes joiners
  while (!holder.holds_key()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  test_support::RawClient observer(server.port(), "observer");
  observer.say("JOIN #flood");
  observer.wait_for("366", std::chrono::seconds(10));
  std::vector<std::unique_ptr<test_support::RawClient>> crowd;
  if (flood) {
    for (int i = 0; i < 20; ++i) crowd.push_back(std::make_unique<test_support::RawClient>(server.port(), "f" + std::to_string(i)));
    std::string churn;
    for (int round = 0; round < 10; ++round) churn += "JOIN #flood\r\nPART #flood\r\n";
    for (auto& raw : crowd) raw->say(churn);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // the churn reaches the holder
  }
  holder.take_raw_log();
  const auto start = Clock::now();
  holder.connection().send_line("PRIVMSG #flood :typed by the user");
  const bool seen = observer.wait_for("typed by the user", std::chrono::seconds(300));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const std::string sent = holder.take_raw_log();
  names = static_cast<double>(count(sent, "SEND: names "));
  welcomes = static_cast<double>(count(sent, ":@AUTHENTICATED"));
  return seen ? seconds : 300.0;
}

void run(benchmark::State& state, bool flood) {
  for (auto _ : state) {
    double names = 0, welcomes = 0;
    state.SetIterationTime(typed_line_delay(flood, names, welcomes));
    state.counters["names_sent"] = names;
    state.counters["welcomes_sent"] = welcomes;
  }
}

void BM_typed_line_quiet_channel(benchmark::State& state) { run(state, false); }
void BM_typed_line_after_join_part_flood(benchmark::State& state) { run(state, true); }

BENCHMARK(BM_typed_line_quiet_channel)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_typed_line_after_join_part_flood)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
