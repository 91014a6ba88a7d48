// Lines per second through the receive thread into the queue, with a consumer draining
// it, against reading the same bytes from a plain socket in the same run.
//
// The reference reads the same traffic from a loopback socket and finds every line end
// (memchr per line), the least any line reader has to do; reading bytes without looking
// at them would flatter it. All figures are wall-clock time: the receive loop works on
// other threads, so the main thread's CPU time would say nothing about it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "bench/process_figures.h"
#include "irc/change_signal.h"
#include "irc/chat_log.h"
#include "irc/inbound_queue.h"
#include "irc/irc_message.h"
#include "irc/server_connection.h"

namespace {

constexpr int kLines = 100000;

std::string make_traffic() {
  std::string out;
  for (int i = 0; i < kLines; ++i) {
    out += ":alice!a@example.org PRIVMSG #velmora :@CRYPTO 0123456789ABCDEF0123456789ABCDEF " +
           std::to_string(i) + "\r\n";
  }
  return out;
}

// Listens on 127.0.0.1:0, sends `traffic` to the first client and reads until it closes.
class OneShotServer {
public:
  explicit OneShotServer(const std::string& traffic) {
    listen_fd_ = velmora::bench::loopback_listener(port_);
    thread_ = std::thread([this, &traffic] {
      int fd = ::accept(listen_fd_, nullptr, nullptr);
      std::size_t sent = 0;
      while (fd >= 0 && sent < traffic.size()) {
        ssize_t n = ::send(fd, traffic.data() + sent, traffic.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      // Read until the client closes, so its login never meets a closed socket.
      char sink[4096];
      while (fd >= 0 && ::recv(fd, sink, sizeof sink, 0) > 0) {}
      if (fd >= 0) ::close(fd);
    });
  }
  ~OneShotServer() {
    thread_.join();
    ::close(listen_fd_);
  }
  int port() const { return port_; }

private:
  int listen_fd_;
  int port_ = 0;
  std::thread thread_;
};

void BM_RawSocketRead(benchmark::State& state) {
  std::string traffic = make_traffic();
  for (auto _ : state) {
    OneShotServer server(traffic);
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(server.port()));
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    std::string buffer(8192, '\0');
    std::size_t total = 0;
    std::size_t carried = 0;  // bytes of a line cut by the end of the previous read
    int lines = 0;
    while (total < traffic.size()) {
      ssize_t n = ::recv(fd, buffer.data() + carried, buffer.size() - carried, 0);
      if (n <= 0) break;
      total += static_cast<std::size_t>(n);
      const char* at = buffer.data();
      const char* end = buffer.data() + carried + n;
      while (const void* lf = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
        ++lines;
        at = static_cast<const char*>(lf) + 1;
      }
      carried = static_cast<std::size_t>(end - at);
      std::memmove(buffer.data(), at, carried);
    }
    ::close(fd);
    if (lines != kLines) state.SkipWithError("lines lost");
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(traffic.size()));
}

// The socket layer alone: one get_until per line, nothing else.
void BM_ChatSocketLines(benchmark::State& state) {
  std::string traffic = make_traffic();
  for (auto _ : state) {
    OneShotServer server(traffic);
    velmora::ChatSocket socket;
    socket.connect("127.0.0.1", server.port());
    int lines = 0;
    while (lines < kLines && !socket.get_until("\r\n").empty()) ++lines;
    if (lines != kLines) state.SkipWithError("lines lost");
    socket.close();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}

void BM_ReceiveLoopIntoQueue(benchmark::State& state) {
  std::string traffic = make_traffic();
  std::string log_path = (std::filesystem::temp_directory_path() /
                          ("velmora-bench-" + std::to_string(::getpid()) + ".log")).string();
  double total_not_shown = 0;
  for (auto _ : state) {
    OneShotServer server(traffic);
    velmora::ChatLog log(log_path);
    velmora::ChangeSignal changes;
    velmora::ServerConnection conn(log, nullptr, &changes);
    conn.open("127.0.0.1", server.port());
    conn.login({"bench", "*", "", "undefined", "*", "*"});
    int popped = 0;
    int not_shown = 0;  // lines the view's bound left out (a note says how many)
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // The consumer sleeps on the change signal like the window does; spinning here
    // would take one of the two cores from the threads being measured.
    while (popped + not_shown < kLines && std::chrono::steady_clock::now() < deadline) {
      changes.drain();
      // What the window takes: a message ready to render.
      while (conn.queued_count() > 0) {
        const velmora::IrcMessage m = conn.pop_message();
        if (m.command == "NOTICE" && m.nick.empty()) {
          not_shown += std::atoi(m.text().c_str());
        } else {
          ++popped;
        }
      }
      if (popped + not_shown >= kLines) break;
      pollfd wait{changes.fd(), POLLIN, 0};
      ::poll(&wait, 1, 100);
    }
    if (popped + not_shown != kLines) state.SkipWithError("lines lost");
    total_not_shown += not_shown;
    conn.shutdown();
    log.remove_file();
  }
  // Lines received but left out of the view by its bound, per run.
  state.counters["not_shown"] = benchmark::Counter(total_not_shown, benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations() * kLines);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(traffic.size()));
}

std::vector<std::string> traffic_lines() {
  std::vector<std::string> lines;
  const std::string traffic = make_traffic();
  for (std::size_t at = 0; at < traffic.size();) {
    const std::size_t end = traffic.find("\r\n", at);
    lines.push_back(traffic.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// The hand-off alone, on one thread, for the same lines: as it was, the receive side
// parsed a line for its rules and queued the text, and the window parsed it again
// (the queue locked once a burst and once a line, as it did).
void BM_HandOffParsedTwice(benchmark::State& state) {
  const std::vector<std::string> lines = traffic_lines();
  std::deque<std::string> queue;
  std::mutex lock;
  std::vector<std::string> burst;
  const auto drain = [&] {
    for (;;) {
      std::string line;
      {
        std::lock_guard hold(lock);
        if (queue.empty()) return;
        line = std::move(queue.front());
        queue.pop_front();
      }
      benchmark::DoNotOptimize(velmora::parse_line(line));
    }
  };
  for (auto _ : state) {
    for (const std::string& line : lines) {
      benchmark::DoNotOptimize(velmora::parse_line(line));
      burst.push_back(line);
      if (burst.size() == 256) {
        {
          std::lock_guard hold(lock);
          for (std::string& b : burst) queue.push_back(std::move(b));
        }
        burst.clear();
        drain();
      }
    }
    {
      std::lock_guard hold(lock);
      for (std::string& b : burst) queue.push_back(std::move(b));
    }
    burst.clear();
    drain();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}

// ... now the message parsed once travels beside its text.
void BM_HandOffParsedOnce(benchmark::State& state) {
  const std::vector<std::string> lines = traffic_lines();
  velmora::InboundQueue queue;
  std::vector<velmora::ReceivedLine> burst;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      velmora::IrcMessage message = velmora::parse_line(line);
      benchmark::DoNotOptimize(message);
      burst.emplace_back(std::move(message), line);
      if (burst.size() == 256) {  // the receive loop publishes a burst at a time
        queue.publish_all(burst);
        burst.clear();
        while (queue.queued_count() > 0) benchmark::DoNotOptimize(queue.pop_message());
      }
    }
    queue.publish_all(burst);
    burst.clear();
    while (queue.queued_count() > 0) benchmark::DoNotOptimize(queue.pop_message());
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}

BENCHMARK(BM_HandOffParsedTwice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandOffParsedOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawSocketRead)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_ChatSocketLines)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_ReceiveLoopIntoQueue)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
