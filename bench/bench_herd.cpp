// Many joiners at once (after a netsplit or a server restart): 30 clients join a
// channel where one client holds the key, through a local ngircd with its default
// flood penalties, and through InspIRCd with Debian's flood limits. Time until every client holds the one key, against one joiner
// alone through the same server; no client may be disconnected for flooding.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

#include "app/app_state.h"
#include "tests/support/inspircd_server.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

struct HerdClient {
  HerdClient(int port, const std::string& nick) : nick(nick) {
    folder.write("setup.ini", "SERVER=127.0.0.1\nPORT=" + std::to_string(port) +
                                  "\nCHANNEL=#herd\nNICK=" + nick + "\nKEY=pass\n");
    state = std::make_unique<AppState>(folder.path(), folder.file("setup.ini"));
  }
  bool holds(const std::string& key) {
    while (state->connection.queued_count() > 0) state->connection.pop_line();  // the window's part
    return state->peer_keys.get(nick) == 1 && state->security.channel_key() == key;
  }
  test_support::TempFolder folder;
  std::string nick;
  std::unique_ptr<AppState> state;
};

// Seconds until `joiners` clients all hold the holder's key (60 s at most); counts the
// clients whose connection closed meanwhile.
template <class Server>
double join_all(Server& server, int joiners, int& disconnected) {
  HerdClient holder(server.port(), "holder");
  holder.state->start_connection();
  while (holder.state->security.channel_key().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const std::string key = holder.state->security.channel_key();
  std::vector<std::unique_ptr<HerdClient>> clients;
  for (int i = 0; i < joiners; ++i) {
    clients.push_back(std::make_unique<HerdClient>(server.port(), "j" + std::to_string(i)));
  }
  const auto start = Clock::now();
  for (auto& c : clients) c->state->start_connection();
  const auto deadline = start + std::chrono::seconds(60);
  bool all = false;
  while (!all && Clock::now() < deadline) {
    all = true;
    for (auto& c : clients) all = c->holds(key) && all;
    if (!all) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  disconnected = 0;
  for (auto& c : clients) disconnected += c->state->connection.is_closed() ? 1 : 0;
  return all ? seconds : 60.0;
}

// ngircd with its own flood penalties, or InspIRCd with Debian's flood limits.
void run(benchmark::State& state, int joiners, bool inspircd) {
  for (auto _ : state) {
    int disconnected = 0;
    double seconds = 0;
    if (inspircd) {
      test_support::InspircdServer server;
      seconds = join_all(server, joiners, disconnected);
    } else {
      test_support::NgircdOptions options;
      options.penalties = true;
      test_support::NgircdServer server(options);
      seconds = join_all(server, joiners, disconnected);
    }
    state.SetIterationTime(seconds);
    state.counters["disconnected"] = disconnected;
  }
}

void BM_one_joiner(benchmark::State& state) { run(state, 1, false); }
void BM_thirty_joiners(benchmark::State& state) { run(state, 30, false); }
void BM_one_joiner_inspircd(benchmark::State& state) { run(state, 1, true); }
void BM_thirty_joiners_inspircd(benchmark::State& state) { run(state, 30, true); }

BENCHMARK(BM_one_joiner)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_thirty_joiners)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_one_joiner_inspircd)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_thirty_joiners_inspircd)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
