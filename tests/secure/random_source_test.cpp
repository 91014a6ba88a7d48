#include "secure/random_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <bit>
#include <set>
#include <vector>

namespace velmora {
namespace {

TEST(RandomSource, IntegerHasExactlyTheRequestedBits) {
  // 2^159 has 48 digits and 2^160 - 1 has 49.
  for (int i = 0; i < 50; ++i) {
    std::string number = random_integer(160);
    ASSERT_TRUE(number.size() == 48 || number.size() == 49) << number;
    EXPECT_NE(number[0], '0');
    EXPECT_TRUE(std::all_of(number.begin(), number.end(), ::isdigit));
    if (number.size() == 48) {
      EXPECT_GE(number, "730750818665451459101842416358141509827966271488");
    }
  }
  EXPECT_EQ(random_integer(1), "1");
  EXPECT_EQ(random_integer(0), "");
  std::string two_bits = random_integer(2);
  EXPECT_TRUE(two_bits == "2" || two_bits == "3");
}

TEST(RandomSource, WordsHaveExactlyTheRequestedBits) {
  struct Case { int bits; std::size_t words; std::uint32_t top_bit; };
  const Case cases[] = {{1, 1, 1u}, {31, 1, 1u << 30}, {32, 1, 1u << 31},
                        {33, 2, 1u}, {160, 5, 1u << 31}};
  for (const auto& c : cases) {
    const std::vector<std::uint32_t> words = random_words(c.bits);
    ASSERT_EQ(words.size(), c.words) << c.bits;
    // The top word, last, holds the top bit and nothing above it.
    EXPECT_EQ(std::bit_floor(words.back()), c.top_bit) << c.bits;
  }
  EXPECT_TRUE(random_words(0).empty());
}

TEST(RandomSource, StringIsFiftySixAlphanumerics) {
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    std::string text = random_string();
    ASSERT_EQ(text.size(), 56u);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), ::isalnum)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 20u);
}

TEST(RandomSource, BelowStaysInRangeAndCoversIt) {
  std::set<std::uint32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    std::uint32_t value = random_below(16);
    ASSERT_LT(value, 16u);
    seen.insert(value);
  }
  EXPECT_EQ(seen.size(), 16u);
  EXPECT_EQ(random_below(1), 0u);
  EXPECT_EQ(random_below(0), 0u);
}

}  // namespace
}  // namespace velmora
