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
// has three lines, and a fourth that it gives up on before its turn comes. A PONG is
// not paced: it goes out before the next token.
TEST(OutboundQueue, UrgentThenTypedThenTheSourceAtItsTurnThenBackground) {
  Written out;
  Scheduler scheduler;
  OutboundQueue queue([&](const std::string& line) { out.add(line); }, scheduler, SendPace{1, 250ms});
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
  queue.push(SendPriority::Urgent, "PONG :s");
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 2; }));
  EXPECT_EQ(out.lines()[1], "PONG :s");
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 8; }));
  EXPECT_EQ(out.lines(), (std::vector<std::string>{"names 0", "PONG :s", "typed 1", "typed 2",
                                                   "exchange 1", "exchange 2", "exchange 3",
                                                   "names 1"}));
  {
    std::lock_guard hold(lock);
    source.push_back("later");
  }
  queue.source_ready();
  EXPECT_TRUE(test_support::eventually([&] { return out.lines().size() == 9; }));
}

// Closed, nothing goes out; on opening, the login pushed meanwhile goes before the
// lines that waited.
TEST(OutboundQueue, ClosedQueueHoldsLinesAndTheLoginLeadsOnOpening) {
  Written out;
  Scheduler scheduler;
  OutboundQueue queue([&](const std::string& line) { out.add(line); }, scheduler);
  queue.set_open(false);
  queue.push(SendPriority::User, "PRIVMSG #c :typed");
  queue.push(SendPriority::Urgent, "NICK me");
  queue.set_open(true);
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 2; }));
  EXPECT_EQ(out.lines(), (std::vector<std::string>{"NICK me", "PRIVMSG #c :typed"}));
}

// Background lines past the pace, and PONGs owed while no connection takes them.
TEST(OutboundQueue, BackgroundAndUrgentBacklogsAreBounded) {
  Written out;
  Scheduler scheduler;
  OutboundQueue queue([&](const std::string& line) { out.add(line); }, scheduler, SendPace{1, 1h});
  for (std::size_t i = 0; i < OutboundQueue::kMaxBackground * 3; ++i) {
    queue.push(SendPriority::Background, "names");
  }
  EXPECT_LE(queue.waiting(), OutboundQueue::kMaxBackground);
  queue.set_open(false);
  for (std::size_t i = 0; i < OutboundQueue::kMaxUrgent * 3; ++i) queue.push(SendPriority::Urgent, "PONG :x");
  EXPECT_LE(queue.waiting(), OutboundQueue::kMaxBackground + OutboundQueue::kMaxUrgent);
}

}  // namespace
}  // namespace velmora
