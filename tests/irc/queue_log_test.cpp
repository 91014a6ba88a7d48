#include <gtest/gtest.h>

#include <thread>

#include "irc/chat_log.h"
#include "irc/inbound_queue.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

TEST(InboundQueue, EmptyPopChangesNothing) {
  InboundQueue q;
  EXPECT_EQ(q.pop_message(), IrcMessage{});
  EXPECT_EQ(q.pop_line(), "");
  EXPECT_EQ(q.queued_count(), 0);
}

TEST(InboundQueue, KeepsOrderAcrossTheWrap) {
  InboundQueue q;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 200; ++i) {
      ASSERT_TRUE(q.wait_for_space());
      q.publish("line " + std::to_string(i));
    }
    for (int i = 0; i < 200; ++i) ASSERT_EQ(q.pop_line(), "line " + std::to_string(i));
  }
  EXPECT_EQ(q.queued_count(), 0);
}

TEST(InboundQueue, EmptyLinesAreNotPublished) {
  InboundQueue q;
  q.publish("");
  EXPECT_EQ(q.queued_count(), 0);
}

TEST(InboundQueue, FullRingHoldsTheProducerUntilAPop) {
  InboundQueue q;
  for (int i = 0; i < InboundQueue::kCapacity; ++i) q.publish("l" + std::to_string(i));
  q.publish("overflow");  // never overwrites a waiting line
  EXPECT_EQ(q.queued_count(), 256);
  std::atomic<bool> got_space{false};
  std::thread producer([&] { got_space = q.wait_for_space(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(got_space.load());
  EXPECT_EQ(q.pop_line(), "l0");
  producer.join();
  EXPECT_TRUE(got_space.load());
}

TEST(InboundQueue, StopReleasesAWaitingProducer) {
  InboundQueue q;
  for (int i = 0; i < InboundQueue::kCapacity; ++i) q.publish("x");
  std::thread producer([&] { EXPECT_FALSE(q.wait_for_space()); });
  q.stop();
  producer.join();
}

TEST(ChatLog, FileAndBufferHoldCrLfEntries) {
  testing::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  log.log_line("PING :server1");
  log.log_line("SEND: PRIVMSG #chan :hi");
  EXPECT_EQ(dir.read("log.txt"), "PING :server1\r\nSEND: PRIVMSG #chan :hi\r\n");
  EXPECT_EQ(log.take_raw_log(), "PING :server1\r\nSEND: PRIVMSG #chan :hi\r\n");
  EXPECT_EQ(log.take_raw_log(), "");
}

TEST(ChatLog, RemovedFileStartsAfresh) {
  testing::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  log.log_line("old");
  log.remove_file();
  EXPECT_FALSE(dir.exists("log.txt"));
  log.log_line("new");
  EXPECT_EQ(dir.read("log.txt"), "new\r\n");
}

TEST(ChatLog, FileDeletedBehindItsBackIsRecreated) {
  testing::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  log.log_line("one");
  std::remove(dir.file("log.txt").c_str());
  log.log_line("two");
  EXPECT_EQ(dir.read("log.txt"), "two\r\n");
}

TEST(ChatLog, UnwritableFileStillFillsTheBuffer) {
  testing::TempFolder dir;
  ChatLog log(dir.file("missing-folder/log.txt"));
  log.log_line("kept");
  EXPECT_EQ(log.take_raw_log(), "kept\r\n");
}

TEST(ChatLog, BufferKeepsTheNewestMegabyteOfWholeEntries) {
  testing::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  std::string entry(1000, 'a');
  for (int i = 0; i < 3000; ++i) log.log_line(std::to_string(i) + entry);
  std::string raw = log.take_raw_log();
  EXPECT_LE(raw.size(), ChatLog::kMaxBuffer);
  EXPECT_GT(raw.size(), ChatLog::kMaxBuffer - 2000);
  EXPECT_EQ(raw.substr(raw.size() - entry.size() - 6), "2999" + entry + "\r\n");
  EXPECT_NE(raw.substr(0, 8).find_first_of("0123456789"), std::string::npos);
}

TEST(ChatLog, TwoThreadsNeverInterleaveEntries) {
  testing::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  auto writer = [&](char c) {
    for (int i = 0; i < 500; ++i) log.log_line(std::string(100, c));
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  std::string file = dir.read("log.txt");
  ASSERT_EQ(file.size(), 1000u * 102);
  for (std::size_t at = 0; at < file.size(); at += 102) {
    EXPECT_EQ(file.substr(at, 100), std::string(100, file[at]));
    EXPECT_EQ(file.substr(at + 100, 2), "\r\n");
  }
}

// The receive thread holds a burst's entries and writes them with one flush; nothing
// may reorder or lose them, and a new connection's log must not get the old ones.
TEST(ChatLog, HeldEntriesReachTheFileAtFlushInOrder) {
  testing::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  log.hold_line(":s 001 me :Welcome");
  log.hold_line(":s 002 me :Host");
  EXPECT_EQ(dir.read("log.txt"), "");
  EXPECT_EQ(log.take_raw_log(), ":s 001 me :Welcome\r\n:s 002 me :Host\r\n");
  log.log_line("SEND: names #c");  // a send between held lines keeps its place
  log.hold_line(":s 003 me :Created");
  log.flush();
  EXPECT_EQ(dir.read("log.txt"),
            ":s 001 me :Welcome\r\n:s 002 me :Host\r\nSEND: names #c\r\n:s 003 me :Created\r\n");
  log.hold_line("old connection");
  log.remove_file();
  log.flush();
  log.log_line("new connection");
  EXPECT_EQ(dir.read("log.txt"), "new connection\r\n");
}

TEST(ChatLog, HoldingIsBounded) {
  testing::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  const std::string line(1000, 'x');
  for (std::size_t i = 0; i < ChatLog::kMaxHeld / 1000 + 1; ++i) log.hold_line(line);
  EXPECT_GE(dir.read("log.txt").size(), ChatLog::kMaxHeld);
}

TEST(InboundQueue, PublishAllKeepsOrderAndDropsEmptyLines) {
  InboundQueue q;
  std::vector<std::string> burst{"a", "", "b", "c"};
  q.publish_all(burst);
  EXPECT_EQ(q.queued_count(), 3);
  EXPECT_EQ(q.space(), InboundQueue::kCapacity - 3);
  EXPECT_EQ(q.pop_line(), "a");
  EXPECT_EQ(q.pop_line(), "b");
  EXPECT_EQ(q.pop_line(), "c");
}

}  // namespace
}  // namespace velmora
