// Exhaustive runs over words at the edges, where long division's rare corrections
// (the lowered estimate, the add-back) happen; random operands almost never reach them.

#include <gtest/gtest.h>

#include <vector>

#include "bigint/basic_funcs.h"
#include "bigint/word_array.h"
#include "tests/bigint/gmp_bridge.h"

namespace velmora {
namespace {

using test_support::Mpz;
using test_support::to_bigint;
using test_support::to_mpz;

const BigWord kEdgeWords[] = {0, 1, 0x7fffffff, 0x80000000, 0xffffffff};

BigIntPtr from_words(const std::vector<BigWord>& w) {
  Mpz x;
  mpz_import(x, w.size(), -1, sizeof(BigWord), 0, 0, w.data());
  return to_bigint(x);
}

// Every array of `n` edge words, with the top word non-zero when asked.
std::vector<std::vector<BigWord>> all_arrays(std::size_t n, bool nonzero_top) {
  std::vector<std::vector<BigWord>> out{{}};
  for (std::size_t i = 0; i < n; ++i) {
    std::vector<std::vector<BigWord>> next;
    for (const auto& prefix : out) {
      for (BigWord w : kEdgeWords) {
        if (nonzero_top && i + 1 == n && w == 0) continue;
        auto grown = prefix;
        grown.push_back(w);
        next.push_back(grown);
      }
    }
    out = next;
  }
  return out;
}

TEST(WordArray, LongDivisionOnEdgeWords) {
  const auto dividends = all_arrays(4, false);
  std::vector<std::vector<BigWord>> divisors = all_arrays(2, true);
  for (const auto& d : all_arrays(3, true)) divisors.push_back(d);
  // Known to need the add-back step: the estimate is one too large.
  const std::vector<BigWord> add_back_u = {0, 0, 0x80000000, 0x7fffffff};
  const std::vector<BigWord> add_back_v = {1, 0, 0x80000000};
  Mpz x, y, want_q, want_r, got_q, got_r;
  BigIntPtr q(bigint_create(1)), r(bigint_create(1));
  auto check = [&](const std::vector<BigWord>& u, const std::vector<BigWord>& v) {
    BigIntPtr a = from_words(u), b = from_words(v);
    to_mpz(a.get(), x);
    to_mpz(b.get(), y);
    ASSERT_EQ(bigint_divmod(a.get(), b.get(), q.get(), r.get()), 0);
    mpz_tdiv_qr(want_q, want_r, x, y);
    to_mpz(q.get(), got_q);
    to_mpz(r.get(), got_r);
    ASSERT_TRUE(mpz_cmp(got_q, want_q) == 0 && mpz_cmp(got_r, want_r) == 0)
        << x.str(16) << " / " << y.str(16);
  };
  check(add_back_u, add_back_v);
  for (const auto& u : dividends) {
    for (const auto& v : divisors) {
      check(u, v);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(WordArray, SquareEqualsProductOnEdgeWords) {
  for (std::size_t n = 1; n <= 4; ++n) {
    for (const auto& a : all_arrays(n, false)) {
      std::vector<BigWord> square(2 * n), product(2 * n);
      word_array::sqr(a.data(), a.data() + n, square.data());
      word_array::mul(a.data(), a.data() + n, a.data(), a.data() + n, product.data());
      ASSERT_EQ(square, product);
    }
  }
}

TEST(WordArray, AddAndSubtractCarryThroughTheLongerOperand) {
  const std::vector<BigWord> a = {0xffffffff, 0xffffffff, 0xffffffff};
  const std::vector<BigWord> one = {1};
  std::vector<BigWord> sum(4);
  word_array::add(a.data(), a.data() + 3, one.data(), one.data() + 1, sum.data());
  EXPECT_EQ(sum, (std::vector<BigWord>{0, 0, 0, 1}));
  std::vector<BigWord> back(3);
  word_array::sub(sum.data(), sum.data() + 3, one.data(), one.data() + 1, back.data());
  EXPECT_EQ(back, (std::vector<BigWord>{0xffffffff, 0xffffffff, 0xffffffff}));
  std::vector<BigWord> in_place = a;
  in_place.push_back(0);
  word_array::add(in_place.data(), in_place.data() + 3, one.data(), one.data() + 1,
                  in_place.data());  // c may be a
  EXPECT_EQ(in_place, (std::vector<BigWord>{0, 0, 0, 1}));
}

TEST(WordArray, Compare) {
  const BigWord a[] = {5, 1}, b[] = {4, 2}, c[] = {5, 1};
  EXPECT_EQ(word_array::cmp(a, a + 2, b), -1);
  EXPECT_EQ(word_array::cmp(b, b + 2, a), 1);
  EXPECT_EQ(word_array::cmp(a, a + 2, c), 0);
}

}  // namespace
}  // namespace velmora
