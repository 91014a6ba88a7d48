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

TEST(OutboundQueue, TypedLinesGoFirstPiecesKeepOrderAndUnwantedLinesAreDropped) {
  Written out;
  Scheduler scheduler;
  OutboundQueue queue([&](const std::string& line) { out.add(line); }, scheduler, SendPace{1, 250ms});
  queue.set_still_wanted([](SendPriority, const std::string& nick) { return nick != "gone"; });
  queue.push(SendPriority::Background, "welcome 0");  // takes the one token there is
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 1; }));
  for (int i = 1; i < 6; ++i) queue.push(SendPriority::Background, "welcome " + std::to_string(i));
  queue.push(SendPriority::Background, "welcome gone", "gone");
  queue.push(SendPriority::Exchange, "answer");
  queue.push(SendPriority::User, "typed 1");
  queue.push(SendPriority::User, "typed 2");
  queue.push(SendPriority::Urgent, "PONG :s");  // not paced: out before the next token
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 2; }));
  EXPECT_EQ(out.lines()[1], "PONG :s");
  ASSERT_TRUE(test_support::eventually([&] { return out.lines().size() == 10; }));
  EXPECT_EQ(out.lines(), (std::vector<std::string>{"welcome 0", "PONG :s", "typed 1", "typed 2",
                                                   "answer", "welcome 1", "welcome 2", "welcome 3",
                                                   "welcome 4", "welcome 5"}));
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
