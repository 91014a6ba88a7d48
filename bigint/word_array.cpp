#include "bigint/word_array.h"

#include <cassert>
#include <cstring>

namespace velmora::word_array {

namespace {

using Wide = std::uint64_t;

BigWord low(Wide w) { return static_cast<BigWord>(w); }
BigWord high(Wide w) { return static_cast<BigWord>(w >> BIG_INT_WORD_BITS_CNT); }

// c := c - b * q over n words of b; returns the borrow out of the top.
BigWord multiply_subtract(BigWord* c, const BigWord* b, std::size_t n, BigWord q) {
  BigWord borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide product = static_cast<Wide>(b[i]) * q + borrow;
    const BigWord part = low(product);
    borrow = high(product) + (c[i] < part);
    c[i] -= part;
  }
  return borrow;
}

// c := c + b over n words; returns the carry.
BigWord add_back(BigWord* c, const BigWord* b, std::size_t n) {
  Wide carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    carry += static_cast<Wide>(c[i]) + b[i];
    c[i] = low(carry);
    carry >>= BIG_INT_WORD_BITS_CNT;
  }
  return low(carry);
}

void div_by_word(BigWord* a, BigWord* a_end, BigWord d, BigWord* c) {
  const std::size_t n = a_end - a;
  Wide rem = a[n - 1];
  for (std::size_t j = n - 1; j-- > 0;) {
    rem = (rem << BIG_INT_WORD_BITS_CNT) | a[j];
    c[j] = low(rem / d);
    rem %= d;
  }
  std::memset(a, 0, n * sizeof(BigWord));
  a[0] = low(rem);
}

// Estimate of the quotient word at top position u[n] u[n-1] u[n-2] (Knuth's step D3).
BigWord estimate_quotient(const BigWord* u, const BigWord* b, std::size_t n) {
  constexpr Wide base = Wide{1} << BIG_INT_WORD_BITS_CNT;
  const Wide top = (static_cast<Wide>(u[n]) << BIG_INT_WORD_BITS_CNT) | u[n - 1];
  Wide q = top / b[n - 1];
  Wide r = top % b[n - 1];
  while (q >= base || q * b[n - 2] > ((r << BIG_INT_WORD_BITS_CNT) | u[n - 2])) {
    --q;
    r += b[n - 1];
    if (r >= base) break;
  }
  return low(q);
}

}  // namespace

void add(const BigWord* a, const BigWord* a_end, const BigWord* b, const BigWord* b_end,
         BigWord* c) {
  assert(b_end - b > 0 && "b_end - b > 0");
  assert(a_end - a >= b_end - b && "a_end - a >= b_end - b");
  assert(b != c && "b != c");
  const std::size_t na = a_end - a, nb = b_end - b;
  Wide carry = 0;
  std::size_t i = 0;
  for (; i < nb; ++i) {
    carry += static_cast<Wide>(a[i]) + b[i];
    c[i] = low(carry);
    carry >>= BIG_INT_WORD_BITS_CNT;
  }
  for (; i < na; ++i) {
    carry += a[i];
    c[i] = low(carry);
    carry >>= BIG_INT_WORD_BITS_CNT;
  }
  c[na] = low(carry);
}

void sub(const BigWord* a, const BigWord* a_end, const BigWord* b, const BigWord* b_end,
         BigWord* c) {
  assert(b_end - b > 0 && "b_end - b > 0");
  assert(a_end - a >= b_end - b && "a_end - a >= b_end - b");
  assert(b != c && "b != c");
  const std::size_t na = a_end - a, nb = b_end - b;
  BigWord borrow = 0;
  std::size_t i = 0;
  for (; i < nb; ++i) {
    const Wide d = static_cast<Wide>(a[i]) - b[i] - borrow;
    c[i] = low(d);
    borrow = high(d) ? 1 : 0;
  }
  for (; i < na; ++i) {
    const Wide d = static_cast<Wide>(a[i]) - borrow;
    c[i] = low(d);
    borrow = high(d) ? 1 : 0;
  }
  assert(borrow == 0 && "a >= b");
}

void mul(const BigWord* a, const BigWord* a_end, const BigWord* b, const BigWord* b_end,
         BigWord* c) {
  assert(b_end - b > 0 && "b_end - b > 0");
  assert(a_end - a >= b_end - b && "a_end - a >= b_end - b");
  assert(a != c && "a != c");
  assert(b != c && "b != c");
  const std::size_t na = a_end - a, nb = b_end - b;
  std::memset(c, 0, (na + nb) * sizeof(BigWord));
  for (std::size_t j = 0; j < nb; ++j) {
    Wide carry = 0;
    for (std::size_t i = 0; i < na; ++i) {
      carry += static_cast<Wide>(a[i]) * b[j] + c[i + j];
      c[i + j] = low(carry);
      carry >>= BIG_INT_WORD_BITS_CNT;
    }
    c[na + j] = low(carry);
  }
}

// Squares on the diagonal, the cross products once, then the doubling: the halved
// diagonal keeps the doubled sum from overflowing the top word.
void sqr(const BigWord* a, const BigWord* a_end, BigWord* c) {
  assert(a_end - a > 0 && "a_end - a > 0");
  assert(a != c && "a != c");
  const std::size_t n = a_end - a;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide s = static_cast<Wide>(a[i]) * a[i];
    c[2 * i] = low(s);
    c[2 * i + 1] = high(s);
  }
  const BigWord kept = c[0] & 1;
  for (std::size_t i = 0; i + 1 < 2 * n; ++i) c[i] = (c[i] >> 1) | (c[i + 1] << 31);
  c[2 * n - 1] >>= 1;
  for (std::size_t i = 1; i < n; ++i) {
    Wide carry = 0;
    for (std::size_t j = 0; j < i; ++j) {
      carry += static_cast<Wide>(a[i]) * a[j] + c[i + j];
      c[i + j] = low(carry);
      carry >>= BIG_INT_WORD_BITS_CNT;
    }
    for (std::size_t k = 2 * i; carry != 0 && k < 2 * n; ++k) {
      carry += c[k];
      c[k] = low(carry);
      carry >>= BIG_INT_WORD_BITS_CNT;
    }
  }
  for (std::size_t i = 2 * n - 1; i > 0; --i) c[i] = (c[i] << 1) | (c[i - 1] >> 31);
  c[0] = (c[0] << 1) | kept;
}

void div(BigWord* a, BigWord* a_end, const BigWord* b, const BigWord* b_end, BigWord* c) {
  assert(b_end - b > 0 && "b_end - b > 0");
  assert(a_end - a >= b_end - b && "a_end - a >= b_end - b");
  assert((*(b_end - 1) >> (BIG_INT_WORD_BITS_CNT - 1)) == 1 &&
         "(*(b_end - 1) >> (BIG_INT_WORD_BITS_CNT - 1)) == 1");
  assert(a != b && "a != b");
  assert(c != a && c != b && "c != a && c != b");
  const std::size_t na = a_end - a, nb = b_end - b;
  if (nb == 1) {
    div_by_word(a, a_end, b[0], c);
    return;
  }
  for (std::size_t j = na - nb; j-- > 0;) {
    BigWord* u = a + j;  // running remainder window u[0 .. nb]
    BigWord q = estimate_quotient(u, b, nb);
    if (q != 0) {
      const BigWord borrow = multiply_subtract(u, b, nb, q);
      const bool below_zero = u[nb] < borrow;
      u[nb] -= borrow;
      if (below_zero) {
        --q;
        u[nb] += add_back(u, b, nb);
      }
    }
    c[j] = q;
  }
}

int cmp(const BigWord* a, const BigWord* a_end, const BigWord* b) {
  for (std::size_t i = a_end - a; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace velmora::word_array
