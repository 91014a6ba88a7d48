// The window's wake-up: the change signal's descriptor, and the lower layers raising it.
#include "irc/change_signal.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <thread>

#include "irc/chat_log.h"
#include "irc/server_connection.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

bool readable(const ChangeSignal& signal, int timeout_ms = 0) {
  pollfd p{signal.fd(), POLLIN, 0};
  return ::poll(&p, 1, timeout_ms) == 1 && (p.revents & POLLIN);
}

TEST(ChangeSignal, RaisedUntilDrainedHoweverOftenRaised) {
  ChangeSignal signal;
  ASSERT_GE(signal.fd(), 0);
  EXPECT_FALSE(readable(signal));
  signal.raise();
  signal.raise();
  EXPECT_TRUE(readable(signal));
  EXPECT_TRUE(signal.raised());
  signal.drain();
  EXPECT_FALSE(readable(signal));  // one drain takes every raise before it
  EXPECT_FALSE(signal.raised());
  signal.drain();                  // draining a quiet signal does not block
  signal.raise();
  EXPECT_TRUE(readable(signal));
}

// The consumer drains, then looks; whenever it has not yet seen everything, the
// descriptor must wake it. A lost wake-up shows as a poll that times out.
TEST(ChangeSignal, NoChangeIsLostBetweenDrainAndLook) {
  constexpr int kChanges = 20000;
  ChangeSignal signal;
  std::atomic<int> made{0};
  std::thread producer([&] {
    for (int i = 0; i < kChanges; ++i) {
      made.fetch_add(1, std::memory_order_relaxed);
      signal.raise();
      if (i % 64 == 0) std::this_thread::yield();
    }
  });
  int seen = 0;
  int wake_ups = 0;
  bool lost = false;
  while (seen < kChanges && !lost) {
    signal.drain();
    seen = made.load(std::memory_order_relaxed);
    if (seen == kChanges) break;
    lost = !readable(signal, 2000);
    ++wake_ups;
  }
  producer.join();
  EXPECT_FALSE(lost) << "stuck at " << seen << " of " << kChanges;
  EXPECT_GT(wake_ups, 0);
}

TEST(ChangeSignal, RaisedByTheRawLog) {
  test_support::TempFolder dir;
  ChangeSignal signal;
  ChatLog log(dir.file("log.txt"), &signal);
  log.log_line("SEND: PRIVMSG #c :hi");
  EXPECT_TRUE(readable(signal));
}

// Every received line, consumed or queued, and the end of the receive thread raise
// it, so a sleeping window sees new lines, new key holders and the closed socket.
TEST(ChangeSignal, RaisedByReceivedLinesAndTheClose) {
  test_support::TempFolder dir;
  ChangeSignal signal;
  ChatLog log(dir.file("log.txt"));
  ServerConnection conn(log, nullptr, &signal);
  test_support::ScriptedServer server(":s NOTICE * :hi\r\n");
  ASSERT_EQ(conn.open("127.0.0.1", server.port()), ConnectResult::connected);
  EXPECT_TRUE(readable(signal));  // the socket opened
  ASSERT_TRUE(conn.login({"me", "*", "", "undefined", "*", "*"}));
  ASSERT_TRUE(readable(signal, 5000));
  signal.drain();
  while (conn.queued_count() == 0) ASSERT_TRUE(readable(signal, 5000));
  EXPECT_EQ(conn.pop_line(), ":s NOTICE * :hi");

  signal.drain();
  server.send("PING :s1\r\n");  // answered and consumed, never queued
  ASSERT_TRUE(readable(signal, 5000));
  EXPECT_EQ(conn.queued_count(), 0);

  EXPECT_TRUE(server.wait_for_line("PONG :s1"));

  signal.drain();  // the PING's raise came last; only the close is left to raise it
  server.close_client();
  ASSERT_TRUE(readable(signal, 5000));
  EXPECT_TRUE(conn.is_closed());
}

}  // namespace
}  // namespace velmora
