#include <gtest/gtest.h>

#include <poll.h>

#include <thread>

#include "app/status_line.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

TEST(StatusLine, ClearedAfterItsTime) {
  std::atomic<bool> shutting_down{false};
  Scheduler scheduler;
  StatusLine status(shutting_down, scheduler);
  status.set_status("Connecting...", 1);
  EXPECT_EQ(status.status_text(), "Connecting...");
  std::this_thread::sleep_for(1300ms);
  EXPECT_EQ(status.status_text(), "");
}

TEST(StatusLine, NewerTextOutlivesTheOlderDeadline) {
  std::atomic<bool> shutting_down{false};
  Scheduler scheduler;
  StatusLine status(shutting_down, scheduler);
  status.set_status("first", 1);
  std::this_thread::sleep_for(600ms);
  status.set_status("second", 1);
  std::this_thread::sleep_for(600ms);  // past the first deadline
  EXPECT_EQ(status.status_text(), "second");
  std::this_thread::sleep_for(700ms);
  EXPECT_EQ(status.status_text(), "");
}

TEST(StatusLine, EmptyTextClearsAtOnce) {
  std::atomic<bool> shutting_down{false};
  Scheduler scheduler;
  StatusLine status(shutting_down, scheduler);
  status.set_status("busy", 10);
  status.set_status("", 10);
  EXPECT_EQ(status.status_text(), "");
}

TEST(StatusLine, NothingChangesWhileShuttingDown) {
  std::atomic<bool> shutting_down{false};
  Scheduler scheduler;
  StatusLine status(shutting_down, scheduler);
  status.set_status("kept", 1);
  shutting_down = true;
  status.set_status("ignored", 1);
  EXPECT_EQ(status.status_text(), "kept");
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(status.status_text(), "kept");
}

TEST(StatusLine, ManyPostersFromManyThreads) {
  std::atomic<bool> shutting_down{false};
  Scheduler scheduler;
  StatusLine status(shutting_down, scheduler);
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) status.set_status("t" + std::to_string(t), 10);
    });
  }
  for (auto& p : posters) p.join();
  EXPECT_EQ(status.status_text().substr(0, 1), "t");
}

// A sleeping window learns of both the new text and its blanking from the signal.
TEST(StatusLine, SetAndClearRaiseTheChangeSignal) {
  std::atomic<bool> shutting_down{false};
  ChangeSignal changes;
  Scheduler scheduler;
  StatusLine status(shutting_down, scheduler, &changes);
  pollfd p{changes.fd(), POLLIN, 0};
  status.set_status("Joining channel...", 1);
  EXPECT_EQ(::poll(&p, 1, 0), 1);
  changes.drain();
  ASSERT_EQ(::poll(&p, 1, 3000), 1);  // raised by the clear, about a second later
  EXPECT_EQ(status.status_text(), "");
}

// A refusal stays beneath the transient texts: the welcome's empty status and a
// timed-out progress text both leave it showing; only another lasting post removes it.
TEST(StatusLine, LastingTextOutlivesTransientOnes) {
  std::atomic<bool> shutting_down{false};
  ChangeSignal changes;
  Scheduler scheduler;
  StatusLine status(shutting_down, scheduler, &changes);
  status.set_status("Joining channel...", 10);
  status.set_status("Cannot join #c: you are banned from it", StatusLine::kLasting);
  EXPECT_EQ(status.status_text(), "Cannot join #c: you are banned from it");
  status.set_status("", 10);
  EXPECT_EQ(status.status_text(), "Cannot join #c: you are banned from it");
  status.set_status("Joining channel...", 1);
  EXPECT_EQ(status.status_text(), "Joining channel...");
  changes.drain();
  pollfd p{changes.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 3000), 1);  // the progress text is blanked
  EXPECT_EQ(status.status_text(), "Cannot join #c: you are banned from it");
  status.set_status("", StatusLine::kLasting);
  EXPECT_EQ(status.status_text(), "");
}

}  // namespace
}  // namespace velmora
