// A server that sends 8 KB PINGs and never reads what the client answers: the client's
// CPU seconds and peak resident growth until it has answered them all or given the
// connection up, against the same traffic from a server that reads, in the same run.
//   build/bench_unread_server --benchmark_counters_tabular=true
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench/process_figures.h"

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "irc/chat_log.h"
#include "irc/server_connection.h"

namespace {

using velmora::bench::cpu_seconds;
using velmora::bench::free_port;
using velmora::bench::rss_mib;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPings = 2000;  // 16 MB of PINGs, 16 MB of PONGs
const std::string kPing = "PING :" + std::string(8192, 'p') + "\r\n";

long resident_kib() { return static_cast<long>(rss_mib() * 1024); }

// Samples the resident size every 5 ms while it lives; peak() is the largest seen.
class ResidentPeak {
public:
  ResidentPeak() : peak_(resident_kib()) {
    thread_ = std::thread([this] {
      while (!stop_) {
        peak_ = std::max(peak_.load(), resident_kib());
        std::this_thread::sleep_for(5ms);
      }
    });
  }
  ~ResidentPeak() {
    stop_ = true;
    thread_.join();
  }
  long peak() const { return peak_.load(); }

private:
  std::atomic<bool> stop_{false};
  std::atomic<long> peak_;
  std::thread thread_;
};

// Listens on 127.0.0.1, greets the first client, sends kPings PINGs and reads (or not)
// what comes back; ends when the client closes or after a bound.
class PingServer {
public:
  explicit PingServer(bool reads) : reads_(reads) {
    listen_fd_ = velmora::bench::loopback_listener(port_);
    thread_ = std::thread([this] { serve(); });
  }
  ~PingServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_fd_);
  }
  int port() const { return port_; }
  bool done_sending() const { return done_; }

private:
  void serve() {
    const int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) return;
    timeval bound{0, 100000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    std::thread reader;
    if (reads_) {
      reader = std::thread([this, fd] {
        char sink[65536];
        while (!stop_) {
          const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
          if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
        }
      });
    }
    send_all(fd, ":bench NOTICE * :hello\r\n");
    for (int i = 0; i < kPings && !stop_; ++i) {
      if (!send_all(fd, kPing)) break;
    }
    done_ = true;
    while (!stop_) std::this_thread::sleep_for(10ms);
    if (reader.joinable()) reader.join();
    ::close(fd);
  }
  bool send_all(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size() && !stop_) {
      const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    }
    return sent == bytes.size();
  }

  bool reads_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

void run(benchmark::State& state, bool server_reads) {
  const std::string log_path = (std::filesystem::temp_directory_path() /
                                ("velmora-unread-" + std::to_string(::getpid()) + ".log")).string();
  for (auto _ : state) {
    PingServer server(server_reads);
    velmora::ChatLog log(log_path);
    auto conn = std::make_unique<velmora::ServerConnection>(log, nullptr);
    conn->open("127.0.0.1", server.port());
    const long rss_before = resident_kib();
    const double cpu_before = cpu_seconds();
    const auto start = Clock::now();
    ResidentPeak peak;
    conn->login({"bench", "*", "", "undefined", "*", "*"});
    // Everything answered (all PINGs sent and read), or the connection given up.
    const auto deadline = start + 120s;
    while (Clock::now() < deadline && !conn->is_closed() &&
           !(server.done_sending() && conn->socket().length() == 0)) {
      std::this_thread::sleep_for(2ms);
    }
    const double cpu = cpu_seconds() - cpu_before;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["cpu_s"] = cpu;
    state.counters["wall_s"] = wall;
    state.counters["peak_growth_MiB"] = (peak.peak() - rss_before) / 1024.0;
    state.counters["closed"] = conn->is_closed() ? 1 : 0;
    state.counters["queued_MiB"] = conn->socket().queued() / 1048576.0;
    conn->socket().close();  // not part of the figures
    conn.reset();
    log.remove_file();
  }
}

void BM_ServerReads(benchmark::State& state) { run(state, true); }
void BM_ServerNeverReads(benchmark::State& state) { run(state, false); }

BENCHMARK(BM_ServerReads)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ServerNeverReads)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
