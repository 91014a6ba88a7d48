#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bigint/bigint.h"

namespace velmora {
namespace {

const std::string kPrimeDigits =
    "17976931348623159077083915679378745319786029604875601170644442368419718021615851936894"
    "78337958649255415021805654859805036464405481992391000507928770033558166392295531362390"
    "76508735759914822574862575007425302077447712589550957937778424442426617334727629299387"
    "668709205606050270810842907692932019128194467627007";

class Conversion : public ::testing::Test {
protected:
  int read(const std::string& s, int base = 10) {
    EXPECT_EQ(bigint_text_set(s.data(), static_cast<unsigned>(s.size()), text.get()), 0);
    return bigint_from_text(text.get(), base, n.get());
  }
  std::string write(int base = 10) {
    EXPECT_EQ(bigint_to_text(n.get(), base, text.get()), 0);
    return std::string(text->text.get(), text->length);
  }
  BigIntPtr n{bigint_create(1)};
  BigIntTextPtr text{bigint_text_create(1)};
};

TEST_F(Conversion, ZeroInEveryDisguise) {
  for (const char* zero : {"0", "-0", "+0", "-000"}) {
    ASSERT_EQ(read(zero), 0) << zero;
    EXPECT_EQ(n->sign, 0) << zero;
    EXPECT_EQ(n->length, 1u) << zero;
    EXPECT_EQ(n->words[0], 0u) << zero;
    EXPECT_EQ(write(), "0");
  }
}

TEST_F(Conversion, FromWordsLeastSignificantFirst) {
  struct Case { std::vector<BigWord> words; const char* decimal; };
  const Case cases[] = {
      {{}, "0"},
      {{0, 0}, "0"},
      {{1000000000u}, "1000000000"},
      {{0xFFFFFFFFu, 0xFFFFFFFFu}, "18446744073709551615"},
      {{0, 0, 0, 0, 0x80000000u}, "730750818665451459101842416358141509827966271488"},  // 2^159
  };
  for (const auto& c : cases) {
    ASSERT_EQ(bigint_set_words(n.get(), c.words.data(), static_cast<unsigned>(c.words.size())), 0);
    EXPECT_EQ(write(), c.decimal);
  }
}

TEST_F(Conversion, Statuses) {
  struct Case { const char* text; int base; int status; };
  const Case cases[] = {
      {"", 10, 3},   {"-", 10, 3},  {"+", 10, 3},   {"12a", 10, 2}, {"1 2", 10, 2},
      {"+-1", 10, 2}, {"12", 1, 1},  {"12", 37, 1},  {"12", 0, 1},   {"z", 36, 0},
      {"Z", 36, 0},  {"2", 2, 2},   {"1", 2, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.text, c.base), c.status) << c.text;
  EXPECT_EQ(bigint_to_text(n.get(), 1, text.get()), 1);
  EXPECT_EQ(bigint_to_text(n.get(), 37, text.get()), 1);
}

TEST_F(Conversion, CaseOfDigitsAndSigns) {
  ASSERT_EQ(read("FF", 16), 0);
  EXPECT_EQ(write(10), "255");
  ASSERT_EQ(read("ff", 16), 0);
  EXPECT_EQ(write(10), "255");
  ASSERT_EQ(read("-48879"), 0);
  EXPECT_EQ(write(16), "-beef");
  ASSERT_EQ(read("+00012"), 0);
  EXPECT_EQ(write(), "12");
}

// A failed conversion must not leave a half-written number behind.
TEST_F(Conversion, FailureKeepsTheNumber) {
  ASSERT_EQ(read("-123456789012345678901234567890"), 0);
  for (const char* bad : {"99999999999999999999999999999999999999x", "-", "", "+7-"}) {
    EXPECT_NE(read(bad), 0) << bad;
    EXPECT_EQ(write(), "-123456789012345678901234567890") << bad;
  }
}

TEST_F(Conversion, LargestWordAndItsNegative) {
  ASSERT_EQ(read("4294967295"), 0);
  EXPECT_EQ(n->length, 1u);
  EXPECT_EQ(n->words[0], 0xffffffffu);
  EXPECT_EQ(write(), "4294967295");
  EXPECT_EQ(text->capacity, 12u);  // estimate of 11 characters and the NUL
  ASSERT_EQ(read("-4294967295"), 0);
  EXPECT_EQ(write(), "-4294967295");
  ASSERT_EQ(read("4294967296"), 0);
  EXPECT_EQ(n->length, 2u);
}

TEST_F(Conversion, GroupPrimeRoundTrip) {
  BigIntTextPtr fresh(bigint_text_create(1));
  ASSERT_EQ(bigint_text_set(kPrimeDigits.data(), 309, fresh.get()), 0);
  ASSERT_EQ(bigint_from_text(fresh.get(), 10, n.get()), 0);
  EXPECT_EQ(n->capacity, 34u);
  EXPECT_EQ(n->length, 32u);
  EXPECT_EQ(n->words[31], 0xffffffffu);
  EXPECT_EQ(n->words[0], 0xffffffffu);
  ASSERT_EQ(bigint_to_text(n.get(), 10, fresh.get()), 0);
  EXPECT_EQ(fresh->capacity, 311u);  // a digit area of 310 characters and the NUL
  EXPECT_EQ(std::string(fresh->text.get(), fresh->length), kPrimeDigits);
}

TEST(BigIntObjects, CreationAndText) {
  EXPECT_EQ(bigint_create(0), nullptr);
  BigIntPtr n(bigint_create(3));
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->capacity, 3u);
  EXPECT_EQ(n->length, 1u);
  EXPECT_EQ(n->words[0], 0u);
  EXPECT_EQ(bigint_text_create(-1), nullptr);
  EXPECT_EQ(bigint_text_create(-7), nullptr);
  BigIntTextPtr s(bigint_text_create(0));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->capacity, 1u);
  EXPECT_EQ(s->length, 0u);
  EXPECT_EQ(s->text[0], '\0');
  ASSERT_EQ(bigint_text_set("hello", 5, s.get()), 0);
  EXPECT_EQ(s->capacity, 6u);
  EXPECT_STREQ(s->text.get(), "hello");
  ASSERT_EQ(bigint_text_set("hi", 2, s.get()), 0);
  EXPECT_EQ(s->capacity, 6u);  // never shrinks
  EXPECT_STREQ(s->text.get(), "hi");
  bigint_destroy(nullptr);
  bigint_text_destroy(nullptr);
}

}  // namespace
}  // namespace velmora
