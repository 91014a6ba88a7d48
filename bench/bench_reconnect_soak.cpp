// 200 forced disconnects through a local ngircd: between the client and the server
// sits a loopback relay that cuts the live connection once the client is in the
// channel, and answers some of the attempts that follow as a busy network does: a
// throttle ("ERROR :Trying to reconnect too fast" after the login), a refusal (closed
// at once) or a handshake that never ends (closed after the login without a word).
// The countdown runs a thousand times faster than the user's; the pauses keep their
// order (5, 10, 20, 40, 60 "seconds", back to 5 after each welcome).
//
// At the end the client must be connected once, in the channel once, with no further
// attempts; threads, descriptors and resident memory are compared between the 20th
// and the 200th cut, in the same state (online, one relayed connection).
//
// Two runs on two shared cores: 200 cuts (100 throttles, 50 refusals, 50 silent
// closes) in 6.0-6.2 s, 401 attempts, none after the last join, in the channel once;
// 8 threads and 13 descriptors after the 20th cut and after the 200th (the bench and
// its relay included); resident 6.43 MiB after the 20th, 6.45 MiB after the 200th.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "bench/process_figures.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int entries(const char* folder) {
  int count = 0;
  if (DIR* dir = ::opendir(folder)) {
    while (const dirent* e = ::readdir(dir)) count += e->d_name[0] != '.';
    ::closedir(dir);
  }
  return count;
}

int connect_to(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads until the client's NICK line (its login is complete) or the end.
bool read_login(int fd) {
  std::string seen;
  char buffer[512];
  for (int i = 0; i < 100 && seen.find("NICK ") == std::string::npos; ++i) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

// The relay: one accepted client at a time, each answered as the next plan says.
class Relay {
public:
  enum class Answer { relay, throttle, refuse, silent_close };

  explicit Relay(int upstream) : upstream_(upstream) {
    listener_ = bench::loopback_listener(port_);
    thread_ = std::thread([this] { run(); });
  }
  ~Relay() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    cut();
    thread_.join();
    ::close(listener_);
  }
  int port() const { return port_; }
  int accepted() const { return accepted_.load(); }
  void plan(std::vector<Answer> answers) {
    std::lock_guard hold(lock_);
    plan_ = std::move(answers);
  }
  // Ends the relayed connection on both sides, as a dead link does.
  void cut() {
    std::lock_guard hold(lock_);
    for (int fd : live_) ::shutdown(fd, SHUT_RDWR);
  }

private:
  Answer next() {
    std::lock_guard hold(lock_);
    if (plan_.empty()) return Answer::relay;
    const Answer a = plan_.front();
    plan_.erase(plan_.begin());
    return a;
  }

  void run() {
    while (!stop_) {
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++accepted_;
      const Answer answer = next();
      if (answer == Answer::refuse) {
        ::close(client);
        continue;
      }
      if (answer != Answer::relay) {
        if (read_login(client) && answer == Answer::throttle) {
          const char kThrottle[] = "ERROR :Closing Link: 127.0.0.1 (Trying to reconnect too fast)\r\n";
          (void)!::send(client, kThrottle, sizeof kThrottle - 1, MSG_NOSIGNAL);
        }
        ::close(client);
        continue;
      }
      pump(client);
    }
  }

  // Bytes both ways until either side ends or the connection is cut.
  void pump(int client) {
    const int server = connect_to(upstream_);
    if (server < 0) return (void)::close(client);
    {
      std::lock_guard hold(lock_);
      live_ = {client, server};
    }
    char buffer[16384];
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    for (bool open = true; open && !stop_;) {
      if (::poll(fds, 2, 1000) < 0) break;
      for (int i = 0; i < 2 && open; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
        open = n > 0 && ::send(fds[1 - i].fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
      }
    }
    {
      std::lock_guard hold(lock_);
      live_.clear();
    }
    ::close(client);
    ::close(server);
  }

  int upstream_;
  int port_ = 0;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::mutex lock_;
  std::vector<Answer> plan_;
  std::vector<int> live_;
  std::thread thread_;
};

// The nicks of `channel` as the server lists them to a fresh observer.
std::string names_of(int port, const std::string& channel) {
  const int fd = connect_to(port);
  if (fd < 0) return {};
  const std::string login = "NICK observer\r\nUSER o 0 * :o\r\nNAMES " + channel + "\r\n";
  (void)!::send(fd, login.data(), login.size(), MSG_NOSIGNAL);
  std::string seen;
  char buffer[4096];
  const auto deadline = Clock::now() + 5s;
  while (seen.find(" 366 ") == std::string::npos && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const std::size_t at = seen.find(" 353 ");
  if (at == std::string::npos) return {};
  const std::size_t text = seen.find(" :", at);
  return seen.substr(text + 2, seen.find("\r\n", text) - text - 2);
}

struct Footprint {
  int threads, descriptors;
  double rss_mib;
};

Footprint footprint() { return {entries("/proc/self/task"), entries("/proc/self/fd"), bench::rss_mib()}; }

bool wait_until(const std::function<bool()>& done, std::chrono::seconds bound) {
  const auto deadline = Clock::now() + bound;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

void BM_ReconnectSoak(benchmark::State& state) {
  constexpr int kCuts = 200;
  test_support::NgircdServer ngircd;
  if (!ngircd.running()) return state.SkipWithError("ngircd did not start");
  Relay relay(ngircd.port());
  test_support::TempFolder folder;
  folder.write("setup.ini", "SERVER=127.0.0.1\nPORT=" + std::to_string(relay.port()) +
                                "\nNICK=soak\nCHANNEL=#soak\nKEY=\n");
  AppOptions fast{std::chrono::milliseconds(1)};
  for (auto _ : state) {
    AppState app(folder.path(), folder.file("setup.ini"), fast);
    const auto in_channel = [&] {
      while (app.connection().queued_count() > 0) app.connection().pop_line();  // the window's part
      app.take_raw_log();
      return app.phase() == Phase::online && !app.channel_users().empty();
    };
    app.start_connection();
    if (!wait_until(in_channel, 30s)) return state.SkipWithError("never joined");
    Footprint at20{}, at200{};
    const auto start = Clock::now();
    int throttles = 0, refusals = 0, silent = 0;
    for (int cut = 1; cut <= kCuts; ++cut) {
      using A = Relay::Answer;
      switch (cut % 4) {  // what the next attempts meet
        case 0: relay.plan({A::throttle}); ++throttles; break;
        case 1: relay.plan({A::refuse, A::throttle}); ++refusals; ++throttles; break;
        case 2: relay.plan({A::silent_close}); ++silent; break;
        default: relay.plan({}); break;
      }
      relay.cut();
      if (!wait_until([&] { return app.phase() != Phase::online; }, 30s) ||
          !wait_until(in_channel, 60s)) {
        return state.SkipWithError(("lost at cut " + std::to_string(cut)).c_str());
      }
      if (cut == 20) at20 = footprint();
      if (cut == kCuts) at200 = footprint();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int accepted = relay.accepted();
    std::this_thread::sleep_for(1s);  // a flapping client would be back within this
    const std::string names = " " + names_of(ngircd.port(), "#soak") + " ";
    std::size_t members = 0;  // "soak" or "@soak", as a whole word
    for (const std::string& word : {std::string(" soak "), std::string(" @soak ")}) {
      for (std::size_t at = names.find(word); at != std::string::npos; at = names.find(word, at + 1)) {
        ++members;
      }
    }
    state.counters["cuts"] = kCuts;
    state.counters["throttles"] = throttles;
    state.counters["refusals"] = refusals;
    state.counters["silent_closes"] = silent;
    state.counters["attempts"] = accepted;
    state.counters["attempts_after_the_last_join"] = relay.accepted() - accepted;
    state.counters["still_online"] = app.phase() == Phase::online;
    state.counters["soak_in_names"] = static_cast<double>(members);
    state.counters["seconds_per_cut"] = seconds / kCuts;
    state.counters["threads_20"] = at20.threads;
    state.counters["threads_200"] = at200.threads;
    state.counters["fds_20"] = at20.descriptors;
    state.counters["fds_200"] = at200.descriptors;
    state.counters["rss_mib_20"] = at20.rss_mib;
    state.counters["rss_mib_200"] = at200.rss_mib;
  }
}

BENCHMARK(BM_ReconnectSoak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
