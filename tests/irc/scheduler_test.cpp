// The one timer thread: order by due time, cancel, and a timer armed again replaces
// what it held.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "irc/scheduler.h"
#include "tests/support/eventually.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

TEST(Scheduler, RunsByDueTimeSkipsCancelledAndTimersReplace) {
  Scheduler scheduler;
  std::mutex lock;
  std::string ran;
  const auto note = [&](char c) {
    return [&, c] {
      std::lock_guard hold(lock);
      ran += c;
    };
  };
  const auto now = Scheduler::Clock::now();
  scheduler.schedule(now + 60ms, note('c'));
  const Scheduler::Id cancelled = scheduler.schedule(now + 20ms, note('x'));
  scheduler.schedule(now + 10ms, note('a'));
  EXPECT_TRUE(scheduler.cancel(cancelled));
  Timer timer(scheduler);
  timer.arm(now + 30ms, note('y'));
  timer.arm(now + 40ms, note('b'));  // replaces 'y'
  ASSERT_TRUE(test_support::eventually([&] {
    std::lock_guard hold(lock);
    return ran.size() == 3;
  }));
  EXPECT_EQ(ran, "abc");
  scheduler.stop();
  EXPECT_EQ(scheduler.schedule(now, note('z')), 0u) << "stopped: nothing more runs";
}

}  // namespace
}  // namespace velmora
