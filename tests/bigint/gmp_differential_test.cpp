// The facility against GMP on thousands of random operands.

#include <gtest/gtest.h>

#include <cctype>

#include "bigint/basic_funcs.h"
#include "bigint/bigint.h"
#include "tests/bigint/gmp_bridge.h"

namespace velmora {
namespace {

using test_support::Mpz;
using test_support::OperandSource;
using test_support::is_normalised;
using test_support::to_bigint;
using test_support::to_mpz;

std::string text_of(const BigIntText* s) { return std::string(s->text.get(), s->length); }

TEST(GmpDifferential, ToTextInEveryBase) {
  OperandSource src(1);
  BigIntTextPtr text(bigint_text_create(1));
  Mpz x;
  for (int i = 0; i < 3000; ++i) {
    src.signed_value(x, 1 + i % 40);
    const int base = 2 + i % 35;
    BigIntPtr n = to_bigint(x);
    ASSERT_EQ(bigint_to_text(n.get(), base, text.get()), 0);
    ASSERT_EQ(text_of(text.get()), x.str(base)) << "base " << base;
    ASSERT_EQ(text->text[text->length], '\0');
  }
}

// Texts in GMP's form, then with "+", leading zeros and upper case mixed in.
std::string disguise(std::string s, OperandSource& src) {
  const bool minus = !s.empty() && s[0] == '-';
  std::string digits = minus ? s.substr(1) : s;
  digits.insert(0, src.below(4), '0');
  for (char& c : digits) {
    if (src.coin()) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return (minus ? "-" : (src.coin() ? "+" : "")) + digits;
}

TEST(GmpDifferential, FromTextInEveryBase) {
  OperandSource src(2);
  BigIntTextPtr text(bigint_text_create(1));
  Mpz x, got;
  for (int i = 0; i < 3000; ++i) {
    src.signed_value(x, 1 + i % 40);
    const int base = 2 + i % 35;
    const std::string s = disguise(x.str(base), src);
    BigIntPtr n(bigint_create(1));
    ASSERT_EQ(bigint_text_set(s.data(), static_cast<unsigned>(s.size()), text.get()), 0);
    ASSERT_EQ(bigint_from_text(text.get(), base, n.get()), 0) << s;
    ASSERT_TRUE(is_normalised(n.get())) << s;
    to_mpz(n.get(), got);
    ASSERT_EQ(mpz_cmp(got, x), 0) << s << " base " << base;
  }
}

TEST(GmpDifferential, MultiplyDivideAddSubtract) {
  OperandSource src(3);
  Mpz x, y, want_q, want_r, got;
  for (int i = 0; i < 3000; ++i) {
    src.signed_value(x, 1 + i % 40);
    src.signed_value(y, 1 + src.below(40));
    if (i % 7 == 0) mpz_set(y, x);  // same value, and below the same object
    BigIntPtr a = to_bigint(x), b = to_bigint(y);
    BigIntPtr r(bigint_create(1)), q(bigint_create(1));
    const BigInt* second = i % 7 == 0 ? a.get() : b.get();

    ASSERT_EQ(bigint_mul(a.get(), second, r.get()), 0);
    to_mpz(r.get(), got);
    mpz_mul(want_q, x, y);
    ASSERT_EQ(mpz_cmp(got, want_q), 0) << x.str(16) << " * " << y.str(16);
    ASSERT_TRUE(is_normalised(r.get()));

    ASSERT_EQ(bigint_add(a.get(), b.get(), r.get()), 0);
    to_mpz(r.get(), got);
    mpz_add(want_q, x, y);
    ASSERT_EQ(mpz_cmp(got, want_q), 0);
    ASSERT_EQ(bigint_sub(a.get(), b.get(), r.get()), 0);
    to_mpz(r.get(), got);
    mpz_sub(want_q, x, y);
    ASSERT_EQ(mpz_cmp(got, want_q), 0);
    ASSERT_TRUE(is_normalised(r.get()));

    if (mpz_sgn(y.get()) == 0) {
      EXPECT_EQ(bigint_divmod(a.get(), b.get(), q.get(), r.get()), 1);
      continue;
    }
    ASSERT_EQ(bigint_divmod(a.get(), b.get(), q.get(), r.get()), 0);
    mpz_tdiv_qr(want_q, want_r, x, y);
    to_mpz(q.get(), got);
    ASSERT_EQ(mpz_cmp(got, want_q), 0) << x.str(16) << " / " << y.str(16);
    to_mpz(r.get(), got);
    ASSERT_EQ(mpz_cmp(got, want_r), 0) << x.str(16) << " % " << y.str(16);
    ASSERT_TRUE(is_normalised(q.get()) && is_normalised(r.get()));
  }
}

// What bigint_pow_mod must give: the status, and the answer when the status is 0.
int expected_pow_mod(mpz_srcptr a, mpz_srcptr b, mpz_srcptr m, mpz_ptr want) {
  if (mpz_sgn(m) == 0) return 1;
  Mpz base_mod;
  mpz_mod(base_mod, a, m);  // 0 .. abs(m) - 1
  if (mpz_cmp_ui(base_mod.get(), 1) <= 0) {  // 0 and 1 come back whatever the exponent
    mpz_set(want, base_mod);
    return 0;
  }
  if (mpz_sgn(b) < 0) {
    Mpz inverse;
    if (mpz_invert(inverse, base_mod, m) == 0) return 2;
  }
  mpz_powm(want, base_mod, b, m);
  return 0;
}

void check_pow_mod(mpz_srcptr a, mpz_srcptr b, mpz_srcptr m) {
  Mpz want, got;
  const int want_status = expected_pow_mod(a, b, m, want);
  BigIntPtr ba = to_bigint(a), bb = to_bigint(b), bm = to_bigint(m);
  BigIntPtr answer(bigint_create(1));
  answer->words[0] = 12345;  // must stay when the call fails
  const int status = bigint_pow_mod(ba.get(), bb.get(), bm.get(), answer.get());
  Mpz a_again, b_again, m_again;
  to_mpz(ba.get(), a_again);
  to_mpz(bb.get(), b_again);
  to_mpz(bm.get(), m_again);
  ASSERT_TRUE(mpz_cmp(a_again, a) == 0 && mpz_cmp(b_again, b) == 0 &&
              mpz_cmp(m_again, m) == 0) << "operands changed";
  const std::string what =
      "a=" + Mpz::text(a, 16) + " b=" + Mpz::text(b, 16) + " m=" + Mpz::text(m, 16);
  ASSERT_EQ(status, want_status) << what;
  if (status != 0) {
    EXPECT_EQ(answer->words[0], 12345u);
    return;
  }
  ASSERT_TRUE(is_normalised(answer.get()));
  to_mpz(answer.get(), got);
  ASSERT_EQ(mpz_cmp(got, want), 0) << what;
}

TEST(GmpDifferential, PowModRandomModuli) {
  OperandSource src(4);
  Mpz a, b, m;
  for (int i = 0; i < 3000; ++i) {
    src.signed_value(m, 1 + i % 40);
    src.signed_value(a, 1 + src.below(42));
    src.signed_value(b, i % 10 == 0 ? 8 : 2);
    switch (i % 13) {
      case 0: mpz_set_ui(b, 0); break;
      case 1: mpz_set_si(m, src.coin() ? 1 : -1); break;
      case 2: mpz_mul_ui(a, m, 1 + src.below(5)); break;  // a multiple of m
      case 3: mpz_setbit(m, 0); break;                     // odd: the Montgomery path
      case 4: mpz_clrbit(m, 0); break;                     // even: the plain path
      default: break;
    }
    check_pow_mod(a, b, m);
    if (HasFatalFailure()) return;
  }
}

TEST(GmpDifferential, PowModTheGroupPrime) {
  OperandSource src(5);
  Mpz p("FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A0"
        "8798E3404DDEF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A"
        "637ED6B0BFF5CB6F406B7EDEE386BFB5A899FA5AE9F24117C4B1FE649286651ECE65381FFFFFFFFFFFFFFFF",
        16);
  Mpz a, b, two;
  mpz_set_ui(two, 2);
  for (int i = 0; i < 60; ++i) {
    src.magnitude(a, 32);
    src.magnitude(b, i % 2 ? 5 : 32);
    if (i % 3 == 0) mpz_neg(b, b);
    check_pow_mod(i % 4 == 0 ? static_cast<mpz_srcptr>(two) : a, b, p);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace velmora
