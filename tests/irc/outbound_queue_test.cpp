// The order and pace of what goes to the server.

#include <gtest/gtest.h>

#include <mutex>

#include "irc/outbound_queue.h"
#include "tests/support/eventually.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

struct Written {
  std::vector<std::string> lines() {
    std::lock_guard hold(lock);
    return all;
  }
  void add(const std::string& line) {
    std::lock_guard hold(lock);
    all.push_back(line);
  }
  std::mutex lock;
  std::vector<std::string> all;
};

// The source is asked at each turn, so what it hands out is decided then: here it
// has three lines, and a fourth that it gives up on before its turn comes.
TEST(OutboundQueue, TypedLinesFirstThenTheSourceAtItsTurnThenBackground) {
  Written out;
  OutboundQueue queue([&](const std::string& line) { out.add(line); }, SendPace{1, 250ms});
  queue.push(SendPriority::Background, "names 0");  // takes the one token there is
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 1; }));
  std::mutex lock;
  std::vector<std::string> source{"exchange 1", "exchange 2", "dropped", "exchange 3"};
  queue.set_source([&]() -> std::optional<std::string> {
    std::lock_guard hold(lock);
    std::erase(source, "dropped");
    if (source.empty()) return std::nullopt;
    std::string line = source.front();
    source.erase(source.begin());
    return line;
  });
  queue.push(SendPriority::Background, "names 1");
  queue.push(SendPriority::User, "typed 1");
  queue.push(SendPriority::User, "typed 2");
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 7; }));
  EXPECT_EQ(out.lines(), (std::vector<std::string>{"names 0", "typed 1", "typed 2", "exchange 1",
                                                   "exchange 2", "exchange 3", "names 1"}));
  {
    std::lock_guard hold(lock);
    source.push_back("later");
  }
  queue.source_ready();
  EXPECT_TRUE(test_support::eventually([&] { return out.lines().size() == 8; }));
}

TEST(OutboundQueue, BackgroundBacklogIsBounded) {
  Written out;
  OutboundQueue queue([&](const std::string& line) { out.add(line); }, SendPace{1, 1h});
  for (std::size_t i = 0; i < OutboundQueue::kMaxBackground * 3; ++i) {
    queue.push(SendPriority::Background, "names");
  }
  EXPECT_LE(queue.waiting(), OutboundQueue::kMaxBackground);
}

}  // namespace
}  // namespace velmora
