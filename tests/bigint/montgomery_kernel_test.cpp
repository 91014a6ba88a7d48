// Each Montgomery row kernel against GMP on the sizes that have unrolled loops, so the
// kernel the CPU would not pick is covered as well as the one it picks.

#include <gtest/gtest.h>

#include <vector>

#include "bigint/adx_rows.h"
#include "bigint/montgomery.h"
#include "tests/bigint/gmp_bridge.h"

namespace velmora {
namespace {

using test_support::Mpz;
using test_support::OperandSource;
using test_support::to_bigint;
using test_support::to_mpz;

// An odd modulus of exactly `words` 32-bit words; every fourth one all ones, where
// every carry ripples through.
void odd_modulus(OperandSource& src, unsigned words, int i, mpz_ptr m) {
  std::vector<std::uint32_t> w(words);
  for (auto& v : w) v = i % 4 == 0 ? 0xffffffffu : src.word();
  if (w.back() == 0) w.back() = 1;
  w[0] |= 1;
  mpz_import(m, words, -1, sizeof(std::uint32_t), 0, 0, w.data());
}

// A base in 2 .. m - 1: 2 (the generator), m - 1, or a random value reduced.
void base_below(OperandSource& src, mpz_srcptr m, int i, mpz_ptr a) {
  switch (i % 5) {
    case 0: mpz_set_ui(a, 2); return;
    case 1: mpz_sub_ui(a, m, 1); return;
    default: break;
  }
  src.magnitude(a, static_cast<unsigned>(mpz_size(m) * 2));
  mpz_mod(a, a, m);
  if (mpz_cmp_ui(a, 2) < 0) mpz_set_ui(a, 3);
}

void check_kernel(MontgomeryKernel kernel, std::uint64_t seed) {
  OperandSource src(seed);
  Mpz m, a, b, want, got;
  for (unsigned words : {16u, 32u, 64u, 30u, 6u}) {
    for (int i = 0; i < 40; ++i) {
      odd_modulus(src, words, i, m);
      base_below(src, m, i, a);
      src.magnitude(b, i % 3 == 0 ? 5 : 2 * words);
      if (i % 7 == 0) mpz_set_ui(b, 1);
      mpz_powm(want, a, b, m);
      BigIntPtr ba = to_bigint(a), bb = to_bigint(b), bm = to_bigint(m);
      BigIntPtr answer(bigint_create(1));
      ASSERT_EQ(montgomery_pow(ba.get(), bb.get(), bm.get(), answer.get(), kernel), 0);
      to_mpz(answer.get(), got);
      ASSERT_EQ(mpz_cmp(got, want), 0) << "words=" << words << " a=" << Mpz::text(a, 16)
                                       << " b=" << Mpz::text(b, 16)
                                       << " m=" << Mpz::text(m, 16);
    }
  }
}

TEST(MontgomeryKernel, PortableRowsMatchGmp) { check_kernel(MontgomeryKernel::portable, 11); }

TEST(MontgomeryKernel, AdxRowsMatchGmp) {
  if (!adx_rows_available()) GTEST_SKIP() << "no BMI2 and ADX on this CPU";
  check_kernel(MontgomeryKernel::adx, 12);
}

TEST(MontgomeryKernel, AutomaticChoiceMatchesGmp) {
  check_kernel(MontgomeryKernel::automatic, 13);
}

}  // namespace
}  // namespace velmora
