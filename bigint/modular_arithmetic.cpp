#include "bigint/modular_arithmetic.h"

#include <cassert>
#include <utility>

#include "bigint/basic_funcs.h"
#include "bigint/montgomery.h"
#include "bigint/service_funcs.h"

namespace velmora {

namespace {

// Left-to-right binary exponentiation: one square per exponent bit and one
// multiply per set bit.
int binary_pow(const BigInt* base_mod, const BigInt* exponent, const BigInt* m,
               BigInt* result) {
  BigInt r, t;
  if (!bigint_init(&r, m->length) || !bigint_init(&t, m->length)) return kBigIntNoMemory;
  if (!bigint_set_word(&r, 1)) return kBigIntNoMemory;
  for (unsigned bit = bigint_bit_length(exponent); bit-- > 0;) {
    if (bigint_mod_sqr(&r, m, &t) != 0) return kBigIntNoMemory;
    const BigWord word = exponent->words[bit / BIG_INT_WORD_BITS_CNT];
    if ((word >> (bit % BIG_INT_WORD_BITS_CNT)) & 1) {
      if (bigint_mod_mul(&t, base_mod, m, &r) != 0) return kBigIntNoMemory;
    } else {
      std::swap(r, t);
    }
  }
  return bigint_copy(result, &r) ? 0 : kBigIntNoMemory;
}

bool is_odd(const BigInt* n) { return (n->words[0] & 1) != 0; }

}  // namespace

int bigint_reduce(const BigInt* a, const BigInt* m, BigInt* r) {
  BigInt rem;
  const int status = bigint_divmod(a, m, nullptr, &rem);
  if (status != 0) return status;  // 1 (m is zero) or kBigIntNoMemory
  if (rem.sign == 1) {
    // The remainder has the sign of a; bring it into 0 .. abs(m) - 1.
    const int fix = m->sign == 0 ? bigint_add(&rem, m, &rem) : bigint_sub(&rem, m, &rem);
    if (fix != 0) return fix;
  }
  return bigint_copy(r, &rem) ? 0 : kBigIntNoMemory;
}

int bigint_mod_mul(const BigInt* a, const BigInt* b, const BigInt* m, BigInt* r) {
  BigInt product;
  if (bigint_mul(a, b, &product) != 0) return kBigIntNoMemory;
  return bigint_reduce(&product, m, r);
}

int bigint_mod_sqr(const BigInt* a, const BigInt* m, BigInt* r) {
  return bigint_mod_mul(a, a, m, r);
}

// Extended Euclid on (abs(m), a), keeping only the coefficient of a.
int bigint_mod_inverse(const BigInt* a, const BigInt* m, BigInt* r) {
  BigInt old_r, cur_r, old_t, cur_t, q, rem, qt;
  if (!bigint_copy(&old_r, m) || !bigint_copy(&cur_r, a)) return kBigIntNoMemory;
  old_r.sign = 0;
  if (!bigint_set_word(&old_t, 0) || !bigint_set_word(&cur_t, 1)) return kBigIntNoMemory;
  while (!bigint_is_zero(&cur_r)) {
    if (bigint_divmod(&old_r, &cur_r, &q, &rem) != 0) return kBigIntNoMemory;
    std::swap(old_r, cur_r);
    std::swap(cur_r, rem);
    if (bigint_mul(&q, &cur_t, &qt) != 0 || bigint_sub(&old_t, &qt, &old_t) != 0) {
      return kBigIntNoMemory;
    }
    std::swap(old_t, cur_t);
  }
  if (!bigint_is_one(&old_r)) return 2;
  if (bigint_reduce(&old_t, m, &old_t) != 0) return kBigIntNoMemory;
  return bigint_copy(r, &old_t) ? 0 : kBigIntNoMemory;
}

int bigint_pow_mod(const BigInt* a, const BigInt* b, const BigInt* m, BigInt* answer) {
  assert(a != nullptr && b != nullptr && m != nullptr && answer != nullptr);
  if (bigint_is_zero(m)) return 1;
  BigInt base_mod;
  if (!bigint_init(&base_mod, m->length)) return kBigIntNoMemory;
  if (bigint_reduce(a, m, &base_mod) != 0) return kBigIntNoMemory;  // m is not zero here
  // 0 and 1 are their own powers, whatever the exponent (zero and negative included).
  if (base_mod.length == 1 && base_mod.words[0] <= 1) {
    return bigint_copy(answer, &base_mod) ? 0 : kBigIntNoMemory;
  }
  BigInt power;
  const int status = is_odd(m) ? montgomery_pow(&base_mod, b, m, &power)
                               : binary_pow(&base_mod, b, m, &power);
  if (status != 0) return status;
  if (b->sign == 1) {
    const int inverse = bigint_mod_inverse(&power, m, &power);
    if (inverse != 0) return inverse;
  }
  return bigint_copy(answer, &power) ? 0 : kBigIntNoMemory;
}

}  // namespace velmora
