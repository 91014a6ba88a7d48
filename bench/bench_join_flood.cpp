// A join/part flood through a local ngircd with its default flood penalties: 20 plain
// connections each join and leave the channel 10 times while a Velmora holder sits in
// it. Then the holder's user types a line: the time until an observer in the channel
// sees it, against the same line in a quiet channel; and how many names requests and
// welcomes the holder sent meanwhile.

#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

class Raw {
public:
  Raw(int port, const std::string& nick) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    (void)!::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    say("NICK " + nick + "\r\nUSER " + nick + " 0 * :" + nick);
  }
  ~Raw() { ::close(fd_); }
  void say(const std::string& lines) {
    const std::string bytes = lines + "\r\n";
    (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // Reads until `text` shows up or `bound` passes; answers PINGs on the way.
  bool wait_for(const std::string& text, std::chrono::seconds bound) {
    const auto deadline = Clock::now() + bound;
    while (Clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[65536];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      seen_.append(buffer, static_cast<std::size_t>(n));
      if (seen_.find(text) != std::string::npos) return true;
      if (seen_.size() > (1u << 20)) seen_.erase(0, seen_.size() - 4096);
    }
    return false;
  }

private:
  int fd_ = -1;
  std::string seen_;
};

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Seconds from the typed line to the observer seeing it.
double typed_line_delay(bool flood, double& names, double& welcomes) {
  testing::NgircdOptions options;
  options.penalties = true;
  testing::NgircdServer server(options);
  testing::TempFolder folder;
  folder.write("setup.ini", "SERVER=127.0.0.1\nPORT=" + std::to_string(server.port()) +
                                "\nCHANNEL=#flood\nNICK=holder\nKEY=\n");
  AppState holder(folder.path(), folder.file("setup.ini"));
  holder.start_connection();
  while (holder.channel_users().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  holder.security.begin_connection("pass");  // a holder: it welcomes every joiner
  holder.security.set_channel_key(std::string(56, 'k'));
  holder.peer_keys.set("holder", 1);
  Raw observer(server.port(), "observer");
  observer.say("JOIN #flood");
  observer.wait_for("366", std::chrono::seconds(10));
  std::vector<std::unique_ptr<Raw>> crowd;
  if (flood) {
    for (int i = 0; i < 20; ++i) crowd.push_back(std::make_unique<Raw>(server.port(), "f" + std::to_string(i)));
    std::string churn;
    for (int round = 0; round < 10; ++round) churn += "JOIN #flood\r\nPART #flood\r\n";
    for (auto& raw : crowd) raw->say(churn);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // the churn reaches the holder
  }
  holder.take_raw_log();
  const auto start = Clock::now();
  holder.connection.send_line("PRIVMSG #flood :typed by the user");
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
