// CPU used by a connected, idle client (all its threads together) over 10 seconds, as a
// share of one core, from the process's own scheduler counts; its resident memory and
// its thread count at the end. The client is logged in to a local ngircd started here.
//
// With the timers on one scheduler: 0.000 % of a core, 6.33 MiB, 6 threads; with a
// thread per timer and the status worker it was 0.007 %, 6.29 MiB, 7 threads.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench/process_figures.h"

#include <dirent.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/app_state.h"

namespace {

using velmora::bench::threads_cpu_seconds;
using velmora::bench::free_port;
using velmora::bench::rss_mib;

using namespace std::chrono_literals;

int threads_now() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (const dirent* e = ::readdir(dir)) count += e->d_name[0] != '.';
    ::closedir(dir);
  }
  return count - 1;  // the bench's own main thread
}

struct Ngircd {
  explicit Ngircd(const std::string& folder) : port(free_port()) {
    std::string conf = folder + "/ngircd.conf";
    std::ofstream(conf) << "[Global]\nName = irc.velmora.bench\nInfo = bench\n"
                           "Listen = 127.0.0.1\nPorts = " << port
                        << "\nMotdPhrase = bench\n[Limits]\nMaxPenaltyTime = 0\n"
                           "[Options]\nPAM = no\nIdent = no\nDNS = no\n";
    std::string log = folder + "/ngircd.log";
    pid = ::fork();
    if (pid == 0) {
      if (!std::freopen(log.c_str(), "w", stdout)) ::_exit(126);
      ::dup2(1, 2);
      ::execlp("ngircd", "ngircd", "-n", "-f", conf.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    std::this_thread::sleep_for(500ms);
  }
  ~Ngircd() {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
  int port;
  pid_t pid;
};

void BM_IdleConnectedClient(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() /
                        ("velmora-idle-" + std::to_string(::getpid()))).string();
  std::filesystem::create_directories(folder);
  Ngircd server(folder);
  std::ofstream(folder + "/setup.ini") << "SERVER=127.0.0.1\r\nPORT=" << server.port
                                       << "\r\nNICK=idler\r\nCHANNEL=#idle\r\nKEY=\r\n";
  double share = 0, rss = 0;
  int threads = 0;
  for (auto _ : state) {
    velmora::AppState app(folder, folder + "/setup.ini");
    app.start_connection();
    for (int i = 0; i < 500 && app.channel_users().empty(); ++i) std::this_thread::sleep_for(10ms);
    if (app.channel_users().empty()) state.SkipWithError("not joined");
    std::this_thread::sleep_for(11s);  // the status text's own clear falls in here too
    double cpu0 = threads_cpu_seconds();
    auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(10s);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    share = (threads_cpu_seconds() - cpu0) / wall * 100.0;
    rss = rss_mib();
    threads = threads_now();
    app.connection().send_line("QUIT :bench done");
    app.connection().wait_closed(3s);
  }
  state.counters["cpu_percent_of_one_core"] = share;
  state.counters["rss_mib"] = rss;
  state.counters["client_threads"] = threads;
  std::filesystem::remove_all(folder);
}

BENCHMARK(BM_IdleConnectedClient)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
