#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "net/byte_buffer.h"

namespace velmora {
namespace {

TEST(ByteBuffer, GrowsExactlyToWhatAnAppendNeeds) {
  ByteBuffer buffer;
  EXPECT_EQ(buffer.capacity(), 4096u);
  std::string first(3000, 'a'), second(5000, 'b');
  buffer.append(first.data(), first.size());
  EXPECT_EQ(buffer.capacity(), 4096u);
  buffer.append(second.data(), second.size());
  EXPECT_EQ(buffer.capacity(), 8000u);
  EXPECT_EQ(buffer.view(), first + second);  // contents kept across the move
}

// The send side: many small appends against a slow reader must not copy the whole
// backlog each time. The block doubles, and read space is reused before it grows.
TEST(ByteBuffer, AmortisedGrowthDoublesAndReusesReadSpace) {
  ByteBuffer buffer(ByteBuffer::Growth::amortised);
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    std::string piece(100, static_cast<char>('a' + i % 26));
    buffer.append(piece.data(), piece.size());
    expected += piece;
  }
  EXPECT_EQ(buffer.capacity(), 4096u << 5);  // 100,000 bytes: five doublings
  EXPECT_EQ(buffer.view(), expected);
  buffer.consume(90000);
  std::string more(60000, 'm');
  buffer.append(more.data(), more.size());  // fits once the read part is reused
  EXPECT_EQ(buffer.capacity(), 4096u << 5);
  EXPECT_EQ(buffer.view(), expected.substr(90000) + more);
}

// The send side of a server that reads slowly: 8 KB answers (the first growth is to
// exactly one, so doubling never meets a power of two) while the backlog is kept at
// most half the limit, as the socket's overflow rule keeps it. Doubling overshot to
// 8,200 x 1024 bytes for a limit of 8 MiB.
TEST(ByteBuffer, AmortisedGrowthStaysWithinItsLimit) {
  constexpr std::size_t kLimit = 2 * 1024 * 1024;
  ByteBuffer buffer(ByteBuffer::Growth::amortised, kLimit);
  const std::string answer(8200, 'p');
  for (int i = 0; i < 20000; ++i) {
    if (buffer.waiting() + answer.size() > kLimit / 2) buffer.clear();
    buffer.append(answer.data(), answer.size());
    buffer.consume(std::min<std::size_t>(buffer.waiting(), i % 3 == 0 ? 8200 : 1000));
    ASSERT_LE(buffer.capacity(), kLimit) << "after " << i << " answers";
  }
}

TEST(ByteBuffer, CompactsOnlyPastHalfAndKeepsUnreadBytes) {
  ByteBuffer buffer;
  std::string bytes(2000, 'x');
  bytes += "tail";
  buffer.append(bytes.data(), bytes.size());  // 2004 bytes: under half of 4096
  buffer.consume(2000);
  buffer.compact_if_past_half();
  EXPECT_EQ(buffer.view(), "tail");
  buffer.append(bytes.data(), 100);  // write position 2104 passes half
  buffer.compact_if_past_half();
  EXPECT_EQ(buffer.view(), "tail" + bytes.substr(0, 100));
  // After compaction the block has room again, so the next append does not grow it.
  std::string more(3000, 'm');
  buffer.append(more.data(), more.size());
  EXPECT_EQ(buffer.capacity(), 4096u);
}

TEST(ByteBuffer, RewindsOnlyWhenEverythingWasRead) {
  ByteBuffer buffer;
  std::string bytes(4000, 'z');
  buffer.append(bytes.data(), bytes.size());
  buffer.consume(3999);
  buffer.rewind_if_empty();
  EXPECT_EQ(buffer.waiting(), 1u);
  buffer.consume(1);
  buffer.rewind_if_empty();
  buffer.append(bytes.data(), bytes.size());
  EXPECT_EQ(buffer.capacity(), 4096u);  // reused from the front
  EXPECT_EQ(buffer.waiting(), 4000u);
}

}  // namespace
}  // namespace velmora
