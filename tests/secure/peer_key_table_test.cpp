#include "secure/peer_key_table.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "secure/hex.h"

namespace velmora {
namespace {

TEST(PeerHash, KnownAnswersForEveryTailLength) {
  struct Case {
    const char* bytes_hex;
    std::uint32_t hash;
  };
  const Case cases[] = {
      {"", 0},                                   // empty
      {"61", 291415938},                         // one-byte tail
      {"6162", 1366002500},                      // two-byte tail
      {"616263", 53512017},                      // three-byte tail, right shift by 16
      {"61626364", 3671636187},                  // one whole group
      {"616C696365", 88046878},                  // group + one
      {"426F625F5B617761795D7C32", 3332630855},  // three groups
      {"FFFEFD", 1045407083},                    // bytes taken unsigned
      {"80818283848586", 2868075849},            // group + three, high bytes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(peer_hash(hex_decode(c.bytes_hex)), c.hash) << c.bytes_hex;
  }
}

TEST(PeerKeyTable, NeverStoredReadsZeroAndSetsReplace) {
  PeerKeyTable table;
  EXPECT_EQ(table.get("bob"), 0);
  table.set("bob", 1);
  EXPECT_EQ(table.get("bob"), 1);
  table.set("bob", 0);
  EXPECT_EQ(table.get("bob"), 0);
  table.set("Bob", 1);
  EXPECT_EQ(table.get("bob"), 0);  // byte for byte
  EXPECT_EQ(table.get("Bob"), 1);
  table.set("", 1);
  EXPECT_EQ(table.get(""), 1);
}

// Finds two nicks that the fixed-size design would have put in the same slot.
std::pair<std::string, std::string> same_slot_nicks() {
  std::vector<std::string> seen(10007 * 31);
  for (int i = 0;; ++i) {
    std::string nick = "n" + std::to_string(i);
    std::uint32_t h = peer_hash(nick);
    std::size_t slot = (h % 10007) * 31 + h % 31;
    if (!seen[slot].empty()) return {seen[slot], nick};
    seen[slot] = nick;
  }
}

TEST(PeerKeyTable, NicksSharingAHashPositionKeepTheirOwnValues) {
  auto [first, second] = same_slot_nicks();
  PeerKeyTable table;
  table.set(first, 1);
  EXPECT_EQ(table.get(second), 0);
  table.set(second, 2);
  EXPECT_EQ(table.get(first), 1);
  EXPECT_EQ(table.get(second), 2);
  table.set(second, 0);
  EXPECT_EQ(table.get(first), 1);
}

TEST(PeerKeyTable, ConcurrentWritersOnDistinctNicks) {
  PeerKeyTable table;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&table, t] {
      for (int i = 0; i < 2000; ++i) {
        std::string nick = "w" + std::to_string(t) + "_" + std::to_string(i % 50);
        table.set(nick, i % 2);
        table.get(nick);
      }
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 50; ++i) {
      // The last write of each nick was at i = 1950 + n, value (1950 + n) % 2 = n % 2.
      EXPECT_EQ(table.get("w" + std::to_string(t) + "_" + std::to_string(i)), i % 2);
    }
  }
}

}  // namespace
}  // namespace velmora
