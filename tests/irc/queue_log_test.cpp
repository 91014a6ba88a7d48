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

TEST(InboundQueue, KeepsOrder) {
  InboundQueue q;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 300; ++i) q.publish(ReceivedLine("line " + std::to_string(i)));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(q.pop_line(), "line " + std::to_string(i));
  }
  EXPECT_EQ(q.queued_count(), 0);
}

TEST(InboundQueue, EmptyLinesAreNotPublished) {
  InboundQueue q;
  q.publish(ReceivedLine(""));
  EXPECT_EQ(q.queued_count(), 0);
}

// The producer never waits; past the byte bound lines are dropped, and once there is
// room again a note says how many, in their place.
TEST(InboundQueue, BoundedInBytesWithANoteForWhatWasDropped) {
  InboundQueue q;
  const std::string line(1000, 'x');
  int published = 0;
  while (q.dropped() == 0) {
    q.publish(ReceivedLine(line + std::to_string(published++)));
    ASSERT_LT(published, 10000);
  }
  const int kept = q.queued_count();
  EXPECT_LE(static_cast<std::size_t>(kept) * line.size(), InboundQueue::kMaxBytes);
  q.publish(ReceivedLine(line));
  EXPECT_EQ(q.dropped(), 2u);
  EXPECT_EQ(q.queued_count(), kept);
  for (int i = 0; i < 3; ++i) q.pop_line();
  q.publish(ReceivedLine(line));  // a few pops are not enough room: dropped
  int i = 3;
  for (; q.dropped() > 0; ++i) ASSERT_EQ(q.pop_line(), line + std::to_string(i));
  EXPECT_LE(i, kept / 2 + 2);  // taken again once half the bound is free
  q.publish(ReceivedLine("after"));
  for (; i < kept; ++i) ASSERT_EQ(q.pop_line(), line + std::to_string(i));
  EXPECT_EQ(q.pop().note, InboundQueue::dropped_note(3));
  EXPECT_EQ(q.pop_line(), "after");
  EXPECT_EQ(InboundQueue::dropped_note(2).text, "2 lines not shown: the view fell behind the server");
}

TEST(ChatLog, FileAndBufferHoldCrLfEntries) {
  test_support::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  log.log_line("PING :server1");
  log.log_line("SEND: PRIVMSG #chan :hi");
  EXPECT_EQ(dir.read("log.txt"), "PING :server1\r\nSEND: PRIVMSG #chan :hi\r\n");
  EXPECT_EQ(log.take_raw_log(), "PING :server1\r\nSEND: PRIVMSG #chan :hi\r\n");
  EXPECT_EQ(log.take_raw_log(), "");
}

TEST(ChatLog, RemovedFileStartsAfresh) {
  test_support::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  log.log_line("old");
  log.remove_file();
  EXPECT_FALSE(dir.exists("log.txt"));
  log.log_line("new");
  EXPECT_EQ(dir.read("log.txt"), "new\r\n");
}

TEST(ChatLog, FileDeletedBehindItsBackIsRecreated) {
  test_support::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  log.log_line("one");
  std::remove(dir.file("log.txt").c_str());
  log.log_line("two");
  EXPECT_EQ(dir.read("log.txt"), "two\r\n");
}

TEST(ChatLog, UnwritableFileStillFillsTheBuffer) {
  test_support::TempFolder dir;
  ChatLog log(dir.file("missing-folder/log.txt"));
  log.log_line("kept");
  EXPECT_EQ(log.take_raw_log(), "kept\r\n");
}

TEST(ChatLog, BufferKeepsTheNewestMegabyteOfWholeEntries) {
  test_support::TempFolder dir;
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
  test_support::TempFolder dir;
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
  test_support::TempFolder dir;
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
  test_support::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  const std::string line(1000, 'x');
  for (std::size_t i = 0; i < ChatLog::kMaxHeld / 1000 + 1; ++i) log.hold_line(line);
  EXPECT_GE(dir.read("log.txt").size(), ChatLog::kMaxHeld);
}

TEST(InboundQueue, PublishAllKeepsOrderAndDropsEmptyLines) {
  InboundQueue q;
  std::vector<ReceivedLine> burst{ReceivedLine("a"), ReceivedLine(""), ReceivedLine("b"),
                                  ReceivedLine("c")};
  q.publish_all(burst);
  EXPECT_EQ(q.queued_count(), 3);
  EXPECT_EQ(q.pop_line(), "a");
  EXPECT_EQ(q.pop_line(), "b");
  EXPECT_EQ(q.pop_line(), "c");
}

}  // namespace
}  // namespace velmora
