#include "bigint/basic_funcs.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include "bigint/service_funcs.h"
#include "bigint/word_array.h"

namespace velmora {

namespace {

const BigWord* begin(const BigInt* n) { return n->words.get(); }
const BigWord* end(const BigInt* n) { return n->words.get() + n->length; }

// c := abs(a) + abs(b) with the given sign.
int add_magnitudes(const BigInt* a, const BigInt* b, int sign, BigInt* c) {
  if (a->length < b->length) std::swap(a, b);
  BigInt sum;
  if (!bigint_init(&sum, a->length + 1)) return kBigIntNoMemory;
  word_array::add(begin(a), end(a), begin(b), end(b), sum.words.get());
  sum.length = a->length + 1;
  sum.sign = sign;
  bigint_normalise(&sum);
  return bigint_copy(c, &sum) ? 0 : kBigIntNoMemory;
}

// c := abs(a) - abs(b) when abs(a) >= abs(b), with the given sign.
int sub_magnitudes(const BigInt* a, const BigInt* b, int sign, BigInt* c) {
  BigInt diff;
  if (!bigint_init(&diff, a->length)) return kBigIntNoMemory;
  word_array::sub(begin(a), end(a), begin(b), end(b), diff.words.get());
  diff.length = a->length;
  diff.sign = sign;
  bigint_normalise(&diff);
  return bigint_copy(c, &diff) ? 0 : kBigIntNoMemory;
}

// c := a + (b with sign b_sign).
int add_signed(const BigInt* a, const BigInt* b, int b_sign, BigInt* c) {
  if (a->sign == b_sign) return add_magnitudes(a, b, a->sign, c);
  if (bigint_compare_abs(a, b) >= 0) return sub_magnitudes(a, b, a->sign, c);
  return sub_magnitudes(b, a, b_sign, c);
}

// Shifts words[0 .. n) left by `shift` (< 32) bits, the bits out go to words[n].
void shift_left(const BigWord* from, unsigned n, unsigned shift, BigWord* to) {
  BigWord out = 0;
  for (unsigned i = 0; i < n; ++i) {
    const BigWord w = from[i];
    to[i] = shift ? (w << shift) | out : w;
    out = shift ? w >> (BIG_INT_WORD_BITS_CNT - shift) : 0;
  }
  to[n] = out;
}

void shift_right(BigWord* words, unsigned n, unsigned shift) {
  if (shift == 0) return;
  for (unsigned i = 0; i + 1 < n; ++i)
    words[i] = (words[i] >> shift) | (words[i + 1] << (BIG_INT_WORD_BITS_CNT - shift));
  words[n - 1] >>= shift;
}

// abs(x) >= abs(y), y longer than one word or not 1: Knuth's long division.
int long_divide(const BigInt* x, const BigInt* y, int q_sign, BigInt* q, BigInt* r) {
  const unsigned shift = BIG_INT_WORD_BITS_CNT - std::bit_width(y->words[y->length - 1]);
  BigInt u, v, quot;
  if (!bigint_init(&u, x->length + 1)) return kBigIntNoMemory;
  if (!bigint_init(&v, y->length + 1)) return kBigIntNoMemory;
  const unsigned q_len = x->length + 1 - y->length;
  if (!bigint_init(&quot, q_len)) return kBigIntNoMemory;
  shift_left(begin(x), x->length, shift, u.words.get());
  shift_left(begin(y), y->length, shift, v.words.get());
  word_array::div(u.words.get(), u.words.get() + x->length + 1, v.words.get(),
                  v.words.get() + y->length, quot.words.get());
  shift_right(u.words.get(), y->length, shift);
  u.length = y->length;
  u.sign = x->sign;
  bigint_normalise(&u);
  quot.length = q_len;
  quot.sign = q_sign;
  bigint_normalise(&quot);
  if (q != nullptr && !bigint_copy(q, &quot)) return kBigIntNoMemory;
  if (r != nullptr && !bigint_copy(r, &u)) return kBigIntNoMemory;
  return 0;
}

}  // namespace

int bigint_compare_abs(const BigInt* a, const BigInt* b) {
  if (a->length != b->length) return a->length < b->length ? -1 : 1;
  return word_array::cmp(begin(a), end(a), begin(b));
}

int bigint_add(const BigInt* a, const BigInt* b, BigInt* c) {
  return add_signed(a, b, b->sign, c);
}

int bigint_sub(const BigInt* a, const BigInt* b, BigInt* c) {
  return add_signed(a, b, bigint_is_zero(b) ? 0 : 1 - b->sign, c);
}

int bigint_mul(const BigInt* a, const BigInt* b, BigInt* c) {
  const bool same = a == b;
  if (a->length < b->length) std::swap(a, b);
  const int sign = a->sign != b->sign ? 1 : 0;
  if (b->length == 1 && b->words[0] <= 1) {
    if (b->words[0] == 0) return bigint_set_word(c, 0) ? 0 : kBigIntNoMemory;
    if (!bigint_copy(c, a)) return kBigIntNoMemory;
    c->sign = sign;
    bigint_normalise(c);
    return 0;
  }
  BigInt product;
  if (!bigint_init(&product, a->length + b->length)) return kBigIntNoMemory;
  if (same) {
    word_array::sqr(begin(a), end(a), product.words.get());
  } else {
    word_array::mul(begin(a), end(a), begin(b), end(b), product.words.get());
  }
  product.length = a->length + b->length;
  product.sign = sign;
  bigint_normalise(&product);
  return bigint_copy(c, &product) ? 0 : kBigIntNoMemory;
}

int bigint_divmod(const BigInt* x, const BigInt* y, BigInt* q, BigInt* r) {
  assert(x != nullptr && y != nullptr);
  if (bigint_is_zero(y)) return 1;
  const int q_sign = x->sign != y->sign ? 1 : 0;
  if (y->length == 1 && y->words[0] == 1) {
    if (r != nullptr && r != x && r != y) {  // r is written last when it aliases
      if (!bigint_set_word(r, 0)) return kBigIntNoMemory;
    }
    if (q != nullptr) {
      if (!bigint_copy(q, x)) return kBigIntNoMemory;
      q->sign = q_sign;
      bigint_normalise(q);
    }
    if (r != nullptr && (r == x || r == y) && !bigint_set_word(r, 0)) return kBigIntNoMemory;
    return 0;
  }
  if (bigint_compare_abs(x, y) < 0) {
    BigInt keep;  // x may be q
    if (r != nullptr && !bigint_copy(&keep, x)) return kBigIntNoMemory;
    if (q != nullptr && !bigint_set_word(q, 0)) return kBigIntNoMemory;
    if (r != nullptr && !bigint_copy(r, &keep)) return kBigIntNoMemory;
    return 0;
  }
  return long_divide(x, y, q_sign, q, r);
}

}  // namespace velmora
