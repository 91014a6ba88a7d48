#include <gtest/gtest.h>

#include <string>

#include "bigint/bigint.h"

namespace velmora {
namespace {

BigIntPtr number(const std::string& s) {
  BigIntPtr n(bigint_create(1));
  BigIntTextPtr t(bigint_text_create(1));
  bigint_text_set(s.data(), static_cast<unsigned>(s.size()), t.get());
  EXPECT_EQ(bigint_from_text(t.get(), 10, n.get()), 0) << s;
  return n;
}

std::string text(const BigInt* n) {
  BigIntTextPtr t(bigint_text_create(1));
  EXPECT_EQ(bigint_to_text(n, 10, t.get()), 0);
  return std::string(t->text.get(), t->length);
}

struct Case {
  const char *base, *exponent, *modulus;
  int status;
  const char* answer;  // "untouched" when the answer must keep its old value
};

TEST(PowMod, Table) {
  const Case cases[] = {
      {"2", "10", "1000", 0, "24"},
      {"5", "0", "7", 0, "1"},
      {"14", "0", "7", 0, "0"},             // a multiple of m: the 0-or-1 rule comes first
      {"8", "0", "7", 0, "1"},              // reduces to 1
      {"1000", "3", "1", 0, "0"},
      {"1000", "3", "-1", 0, "0"},
      {"3", "3", "0", 1, "untouched"},
      {"3", "-3", "0", 1, "untouched"},
      {"1000", "2", "7", 0, "1"},           // reduced before exponentiation: 6^2
      {"-2", "3", "7", 0, "6"},             // (-2) mod 7 = 5
      {"-7", "3", "7", 0, "0"},
      {"2", "10", "-1000", 0, "24"},        // the answer lies in 0 .. abs(m) - 1
      {"3", "-1", "7", 0, "5"},
      {"3", "-2", "1000", 0, "889"},        // 9 * 889 = 8001
      {"2", "-1", "8", 2, "untouched"},     // no inverse
      {"4", "-1", "6", 2, "untouched"},
      {"6", "-5", "8", 2, "untouched"},
      {"0", "-1", "8", 0, "0"},             // 0 and 1 come back before any inversion
      {"9", "-4", "8", 0, "1"},
      {"2", "64", "18446744073709551557", 0, "59"},
  };
  for (const auto& c : cases) {
    BigIntPtr a = number(c.base), b = number(c.exponent), m = number(c.modulus);
    BigIntPtr answer = number("424242");
    const int status = bigint_pow_mod(a.get(), b.get(), m.get(), answer.get());
    const std::string where = std::string(c.base) + "^" + c.exponent + " mod " + c.modulus;
    EXPECT_EQ(status, c.status) << where;
    const std::string want = std::string(c.answer) == "untouched" ? "424242" : c.answer;
    EXPECT_EQ(text(answer.get()), want) << where;
    EXPECT_EQ(text(a.get()), std::string(c.base).starts_with("+") ? c.base + 1 : c.base);
  }
}

}  // namespace
}  // namespace velmora
