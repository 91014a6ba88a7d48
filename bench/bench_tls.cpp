// TLS against plain TCP through the same local ngircd (throwaway certificate made here
// with the openssl command): time from start_connection to the channel's names list,
// and the idle CPU share and resident memory of one connected client. Read the TLS
// figures as ratios against the plain ones of the same run.
//
// Connect to joined, 20 each on two shared cores: 3.4 ms plain, 7.5 ms TLS and 6.0 ms
// TLS with the system's store, where they were 504, 510 and 508 ms while the login
// waited half a second for a greeting that ngircd never sends before registration.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench/process_figures.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "app/app_state.h"

namespace {

using velmora::bench::threads_cpu_seconds;
using velmora::bench::free_port;
using velmora::bench::rss_mib;

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// 0 plain; 1 TLS checked against the test CA; 2 TLS with the system's trust store loaded
// (TLS_VERIFY=0, since the system does not know the test CA).
enum Mode { kPlain = 0, kTlsTestCa = 1, kTlsSystemStore = 2 };
const char* mode_name(long mode) {
  return mode == kPlain ? "plain" : mode == kTlsTestCa ? "tls" : "tls, system trust store";
}

// ngircd with a plain and a TLS port, and the CA that signed its certificate.
struct Server {
  Server() : folder(fs::temp_directory_path() / ("velmora-tls-bench-" + std::to_string(::getpid()))) {
    fs::create_directories(folder);
    const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string make =
        "cd '" + folder.string() + "' && (openssl req -x509 " + key +
        " -keyout ca.key -out ca.crt -days 2 -subj /CN=Bench-CA && openssl req " + key +
        " -keyout s.key -out s.csr -subj /CN=localhost && printf 'subjectAltName=DNS:localhost'"
        " > ext && openssl x509 -req -in s.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2"
        " -out s.crt -extfile ext) >/dev/null 2>&1";
    ok = std::system(make.c_str()) == 0;
    std::ofstream(folder / "ngircd.conf")
        << "[Global]\nName = irc.velmora.bench\nInfo = bench\nListen = 127.0.0.1\nPorts = " << plain
        << "\nMotdPhrase = bench\n[Limits]\nMaxPenaltyTime = 0\n[Options]\nPAM = no\nIdent = no\n"
           "DNS = no\n[SSL]\nCertFile = " << (folder / "s.crt").string() << "\nKeyFile = "
        << (folder / "s.key").string() << "\nPorts = " << tls << "\n";
    pid = ::fork();
    if (pid == 0) {
      if (!std::freopen((folder / "ngircd.log").c_str(), "w", stdout)) ::_exit(126);
      ::dup2(1, 2);
      ::execlp("ngircd", "ngircd", "-n", "-f", (folder / "ngircd.conf").c_str(),
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    std::this_thread::sleep_for(1500ms);  // GnuTLS makes its DH parameters first
  }
  ~Server() {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    fs::remove_all(folder);
  }
  std::string settings(long mode, const std::string& nick) const {
    const std::string path = (folder / (nick + ".ini")).string();
    std::ofstream file(path);
    file << "SERVER=localhost\nNICK=" << nick << "\nCHANNEL=#bench\nKEY=\n";
    if (mode == kPlain) file << "PORT=" << plain << "\nTLS=0\n";
    if (mode == kTlsTestCa) file << "PORT=" << tls << "\nTLS=1\nTLS_CA=" << (folder / "ca.crt").string() << "\n";
    if (mode == kTlsSystemStore) file << "PORT=" << tls << "\nTLS=1\nTLS_VERIFY=0\n";
    return path;
  }
  fs::path folder;
  int plain = free_port();
  int tls = free_port();
  pid_t pid = -1;
  bool ok = false;
};

Server& server() {
  static Server s;
  return s;
}

bool joined(velmora::AppState& app) {
  for (int i = 0; i < 1000 && app.channel_users().empty(); ++i) std::this_thread::sleep_for(1ms);
  return !app.channel_users().empty();
}

void BM_ConnectToJoined(benchmark::State& state) {
  const long mode = state.range(0);
  if (!server().ok) state.SkipWithError("no certificate");
  int n = 0;
  for (auto _ : state) {
    const std::string nick = "c" + std::to_string(mode) + "n" + std::to_string(n++);
    velmora::AppState app(server().folder.string(), server().settings(mode, nick));
    const auto start = std::chrono::steady_clock::now();
    app.start_connection();
    if (!joined(app)) state.SkipWithError("not joined");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetLabel(mode_name(mode));
}

// One connected client over 10 idle seconds, after the status line's own clear. The
// memory figure means something only in a fresh process (the connect runs leave freed
// heap behind): bench_tls --benchmark_filter='Idle.*/1/' and so on, one mode each.
void BM_IdleConnectedClient(benchmark::State& state) {
  const long mode = state.range(0);
  double share = 0, rss_growth = 0, own_growth = 0, files_growth = 0;
  for (auto _ : state) {
    const double rss0 = rss_mib();
    const velmora::bench::ResidentSplit split0 = velmora::bench::resident_split();
    auto app = std::make_unique<velmora::AppState>(server().folder.string(),
                                                   server().settings(mode, "idle" + std::to_string(mode)));
    app->start_connection();
    if (!joined(*app)) state.SkipWithError("not joined");
    std::this_thread::sleep_for(11s);
    const double cpu0 = threads_cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(10s);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    share = (threads_cpu_seconds() - cpu0) / wall * 100.0;
    rss_growth = rss_mib() - rss0;
    const velmora::bench::ResidentSplit split = velmora::bench::resident_split();
    own_growth = split.own - split0.own;
    files_growth = split.files - split0.files;
    app.reset();
  }
  state.counters["cpu_percent_of_one_core"] = share;
  state.counters["rss_growth_mib"] = rss_growth;
  state.counters["own_growth_mib"] = own_growth;      // heap and stacks
  state.counters["files_growth_mib"] = files_growth;  // library pages touched
  state.SetLabel(mode_name(mode));
}

BENCHMARK(BM_ConnectToJoined)->Arg(kPlain)->Arg(kTlsTestCa)->Arg(kTlsSystemStore)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
// Plain first: the libraries the process loads once are then counted against plain.
BENCHMARK(BM_IdleConnectedClient)->Arg(kPlain)->Arg(kTlsTestCa)->Arg(kTlsSystemStore)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
