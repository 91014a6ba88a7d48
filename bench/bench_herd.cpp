// Many joiners at once (after a netsplit or a server restart), through a local ngircd
// with its default flood penalties, through InspIRCd and through ircd-hybrid with
// Debian's flood limits. Two shapes: 30 clients join a channel where one client holds
// the key; and 30 or 100 clients join at once beside one ordinary IRC user, with no key
// in the channel yet, so that someone has to make it.
//
// Reported per run: seconds until every client holds one and the same key, so that
// everyone reads everyone (120 s when that never happened), the number of distinct
// keys seen meanwhile and at the end, clients thrown out, and the server's flood
// notices ("throttled due to flooding", "Excess Flood").

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "app/app_state.h"
#include "tests/support/hybrid_server.h"
#include "tests/support/inspircd_server.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/raw_client.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kGiveUp = std::chrono::seconds(120);

struct HerdClient {
  HerdClient(int port, const std::string& nick) : nick(nick) {
    folder.write("setup.ini", "SERVER=127.0.0.1\nPORT=" + std::to_string(port) +
                                  "\nCHANNEL=#herd\nNICK=" + nick + "\nKEY=pass\n");
    state = std::make_unique<AppState>(folder.path(), folder.file("setup.ini"));
  }
  // The key this client holds now (empty for none), after the window's part.
  std::string key() {
    while (state->connection().queued_count() > 0) {
      // ircd-hybrid drops lines past 10 a second to one target and says so
      // ("throttled due to flooding"); a server closing us says "Excess Flood".
      std::string line = state->connection().pop_line();
      std::transform(line.begin(), line.end(), line.begin(), ::tolower);
      if (line.find("flood") != std::string::npos) {
        ++flood_notices;
        if (std::getenv("VELMORA_HERD_SHOW")) std::fprintf(stderr, "%s: %s\n", nick.c_str(), line.c_str());
      }
    }
    // A client thrown out comes back by itself 5 s later; looked at often enough, it
    // is seen closed or waiting to reconnect in between.
    const bool closed = state->connection().is_closed();
    const bool was_dropped = dropped;
    dropped = dropped || state->reconnecting() || (opened && closed);
    if (dropped && !was_dropped && std::getenv("VELMORA_HERD_SHOW")) {
      std::fprintf(stderr, "%s dropped: %s\n", nick.c_str(), state->phase_reason().c_str());
    }
    opened = opened || !closed;
    return state->security().channel_key();
  }
  test_support::TempFolder folder;
  std::string nick;
  std::unique_ptr<AppState> state;
  bool opened = false;
  bool dropped = false;
  int flood_notices = 0;
};

// An ordinary IRC user in the channel, reading what it is sent so the server keeps it.
class PlainUser {
public:
  explicit PlainUser(int port) : client_(port, "plainuser") {
    client_.say("JOIN #herd");
    client_.wait_for(" 366 ", std::chrono::seconds(10));
    reader_ = std::thread([this] {
      while (!stop_) client_.wait_for("\x01never", std::chrono::milliseconds(200));
    });
  }
  ~PlainUser() {
    stop_ = true;
    reader_.join();
  }

private:
  test_support::RawClient client_;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

struct Outcome {
  double seconds = kGiveUp.count();
  std::size_t keys_seen = 0;     // distinct keys held by anyone during the run
  std::size_t keys_at_end = 0;   // distinct keys held at the end (1 when agreed)
  int disconnected = 0;
  int flood_notices = 0;
};

enum class Shape { HolderFirst, BesidePlainUser };

template <class Server>
Outcome join_all(Server& server, int joiners, Shape shape) {
  Outcome out;
  if (!server.running()) return out;
  std::unique_ptr<HerdClient> holder;
  std::unique_ptr<PlainUser> plain;
  if (shape == Shape::HolderFirst) {
    holder = std::make_unique<HerdClient>(server.port(), "holder");
    holder->state->start_connection();
    const auto made_by = Clock::now() + std::chrono::seconds(20);
    while (holder->key().empty() && Clock::now() < made_by)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (holder->key().empty()) return out;
  } else {
    plain = std::make_unique<PlainUser>(server.port());
  }
  std::vector<std::unique_ptr<HerdClient>> clients;
  for (int i = 0; i < joiners; ++i) {
    clients.push_back(std::make_unique<HerdClient>(server.port(), "herd" + std::to_string(1000 + i).substr(1)));
  }
  if (holder) clients.push_back(std::move(holder));
  const auto start = Clock::now();
  for (auto& c : clients) c->state->start_connection();
  std::set<std::string> seen;
  bool agreed = false;
  while (!agreed && Clock::now() < start + kGiveUp) {
    std::set<std::string> held;
    bool all = true;
    for (auto& c : clients) {
      const std::string key = c->key();
      all = all && !key.empty();
      if (!key.empty()) held.insert(key);
    }
    seen.insert(held.begin(), held.end());
    agreed = all && held.size() == 1;
    out.keys_at_end = held.size();
    if (!agreed) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (agreed) out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  out.keys_seen = seen.size();
  for (auto& c : clients) {
    c->key();
    out.disconnected += c->dropped ? 1 : 0;
    out.flood_notices += c->flood_notices;
  }
  return out;
}

enum class Server { Ngircd, Inspircd, Hybrid };

// ngircd with its own flood penalties, InspIRCd or ircd-hybrid with Debian's limits.
Outcome join_through(Server kind, int joiners, Shape shape) {
  switch (kind) {
    case Server::Inspircd: {
      test_support::InspircdServer server;
      return join_all(server, joiners, shape);
    }
    case Server::Hybrid: {
      test_support::HybridServer server;
      return join_all(server, joiners, shape);
    }
    default: {
      test_support::NgircdOptions options;
      options.penalties = true;
      test_support::NgircdServer server(options);
      return join_all(server, joiners, shape);
    }
  }
}

// Each figure is also given as a ratio to one joiner through ngircd in the same run.
void run(benchmark::State& state, int joiners, Server kind, Shape shape) {
  static double one_joiner_seconds = 0;
  if (const std::string why = test_support::HybridServer::missing(); kind == Server::Hybrid && !why.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) {
    const Outcome out = join_through(kind, joiners, shape);
    state.SetIterationTime(out.seconds);
    state.counters["keys_seen"] = static_cast<double>(out.keys_seen);
    state.counters["keys_at_end"] = static_cast<double>(out.keys_at_end);
    state.counters["disconnected"] = out.disconnected;
    state.counters["flood_notices"] = out.flood_notices;
    if (joiners == 1 && kind == Server::Ngircd) one_joiner_seconds = out.seconds;
    else if (one_joiner_seconds > 0) state.counters["vs_one_joiner"] = out.seconds / one_joiner_seconds;
  }
}

#define HERD(name, joiners, server, shape)                                                   \
  void name(benchmark::State& state) { run(state, joiners, server, shape); }                \
  BENCHMARK(name)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond)

HERD(BM_one_joiner, 1, Server::Ngircd, Shape::HolderFirst);
HERD(BM_thirty_joiners, 30, Server::Ngircd, Shape::HolderFirst);
HERD(BM_thirty_beside_plain_user, 30, Server::Ngircd, Shape::BesidePlainUser);
HERD(BM_hundred_beside_plain_user, 100, Server::Ngircd, Shape::BesidePlainUser);
HERD(BM_thirty_joiners_inspircd, 30, Server::Inspircd, Shape::HolderFirst);
HERD(BM_thirty_beside_plain_user_inspircd, 30, Server::Inspircd, Shape::BesidePlainUser);
HERD(BM_hundred_beside_plain_user_inspircd, 100, Server::Inspircd, Shape::BesidePlainUser);
HERD(BM_thirty_joiners_hybrid, 30, Server::Hybrid, Shape::HolderFirst);
HERD(BM_thirty_beside_plain_user_hybrid, 30, Server::Hybrid, Shape::BesidePlainUser);
HERD(BM_hundred_beside_plain_user_hybrid, 100, Server::Hybrid, Shape::BesidePlainUser);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
