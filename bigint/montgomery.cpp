#include "bigint/montgomery.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "bigint/adx_rows.h"
#include "bigint/modular_arithmetic.h"
#include "bigint/service_funcs.h"

#ifdef VELMORA_HAVE_ADX_ROWS
#include <cpuid.h>
#endif

namespace velmora {

namespace {

// The arithmetic runs on 64-bit limbs: a quarter of the word products of 32-bit words.
using Limb = std::uint64_t;
using Wide = unsigned __int128;

constexpr unsigned kLimbBits = 64;

Limb lo(Wide w) { return static_cast<Limb>(w); }
Limb hi(Wide w) { return static_cast<Limb>(w >> kLimbBits); }

// The modulus with what every product needs.
struct MontgomeryContext {
  std::vector<Limb> modulus;
  Limb m_inverse = 0;  // -modulus^-1 mod 2^64
  std::size_t n = 0;
};

void to_limbs(const BigInt* x, Limb* out, std::size_t n) {
  std::fill_n(out, n, 0);
  for (unsigned i = 0; i < x->length; ++i)
    out[i / 2] |= static_cast<Limb>(x->words[i]) << (32 * (i % 2));
}

bool from_limbs(const Limb* in, std::size_t n, BigInt* x) {
  if (!bigint_grow(x, static_cast<unsigned>(2 * n))) return false;
  for (std::size_t i = 0; i < n; ++i) {
    x->words[2 * i] = static_cast<BigWord>(in[i]);
    x->words[2 * i + 1] = static_cast<BigWord>(in[i] >> 32);
  }
  x->length = static_cast<unsigned>(2 * n);
  x->sign = 0;
  bigint_normalise(x);
  return true;
}

// Newton's iteration doubles the correct low bits: 3, 6, 12, 24, 48, 96.
Limb negative_inverse(Limb m0) {
  Limb inv = m0;
  for (int i = 0; i < 5; ++i) inv *= 2 - m0 * inv;
  return ~inv + 1;
}

// Kernels take the limb count as a template argument when it is known at compile time
// (N != 0): fully unrolled loops make the 1024-bit group about 1.4 times faster.
template <std::size_t N>
constexpr std::size_t limbs(std::size_t runtime) { return N != 0 ? N : runtime; }

// r[0 .. n) += a[0 .. n) * b; returns the carry word.
template <std::size_t N>
Limb add_mul(Limb* r, const Limb* a, std::size_t n_runtime, Limb b) {
  const std::size_t n = limbs<N>(n_runtime);
  Limb carry = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const Wide t = static_cast<Wide>(a[j]) * b + r[j] + carry;
    r[j] = lo(t);
    carry = hi(t);
  }
  return carry;
}

// add_mul through the mulx/adcx/adox rows when Adx (only for unrolled sizes).
template <std::size_t N, bool Adx>
Limb row(Limb* r, const Limb* a, std::size_t n, Limb b) {
#ifdef VELMORA_HAVE_ADX_ROWS
  if constexpr (Adx) {
    static_assert(N != 0);
    return adx_add_mul_row<N>(r, a, b);
  }
#endif
  return add_mul<N>(r, a, n, b);
}

// r := a + b over n limbs; returns the carry.
template <std::size_t N>
Limb add_n(Limb* r, const Limb* a, const Limb* b, std::size_t n_runtime) {
  const std::size_t n = limbs<N>(n_runtime);
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide t = static_cast<Wide>(a[i]) + b[i] + carry;
    r[i] = lo(t);
    carry = hi(t);
  }
  return carry;
}

// r := r - m over n limbs.
template <std::size_t N>
void sub_n(Limb* r, const Limb* m, std::size_t n_runtime) {
  const std::size_t n = limbs<N>(n_runtime);
  Limb borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb d = r[i] - m[i] - borrow;
    borrow = (r[i] < m[i]) || (r[i] - m[i] < borrow);
    r[i] = d;
  }
}

template <std::size_t N>
bool at_least(const Limb* r, const Limb* m, std::size_t n_runtime) {
  const std::size_t n = limbs<N>(n_runtime);
  for (std::size_t i = n; i-- > 0;) {
    if (r[i] != m[i]) return r[i] > m[i];
  }
  return true;
}

// out := t / 2^(64n) mod m for t of 2n limbs below m * 2^(64n) (t is destroyed).
template <std::size_t N, bool Adx>
void redc(const MontgomeryContext& ctx, Limb* t, Limb* out) {
  const std::size_t n = limbs<N>(ctx.n);
  const Limb* m = ctx.modulus.data();
  for (std::size_t i = 0; i < n; ++i) {
    // The low limb becomes zero, so it can keep the carry for the final addition.
    t[i] = row<N, Adx>(t + i, m, n, t[i] * ctx.m_inverse);
  }
  const Limb carry = add_n<N>(out, t + n, t, n);
  if (carry != 0 || at_least<N>(out, m, n)) sub_n<N>(out, m, n);
}

// t[0 .. 2n) := a * b.
template <std::size_t N, bool Adx>
void multiply(const Limb* a, const Limb* b, std::size_t n_runtime, Limb* t) {
  const std::size_t n = limbs<N>(n_runtime);
  std::fill_n(t, 2 * n, 0);
  for (std::size_t i = 0; i < n; ++i) t[n + i] = row<N, Adx>(t + i, a, n, b[i]);
}

#ifdef VELMORA_HAVE_ADX_ROWS
// The cross products of a square, row I of length N - 1 - I, each row unrolled.
template <std::size_t N, std::size_t... I>
void adx_cross_products(const Limb* a, Limb* t, std::index_sequence<I...>) {
  ((t[N + I] = adx_add_mul_row<N - 1 - I>(t + 2 * I + 1, a + I + 1, a[I])), ...);
}
#endif

// The cross products of a square, row by row, for the portable kernel.
void cross_products(const Limb* a, std::size_t n, Limb* t) {
  for (std::size_t i = 0; i + 1 < n; ++i)
    t[n + i] = add_mul<0>(t + 2 * i + 1, a + i + 1, n - i - 1, a[i]);
}

// t[0 .. 2n) := a * a: each cross product once, doubled, plus the diagonal.
template <std::size_t N, bool Adx>
void square(const Limb* a, std::size_t n_runtime, Limb* t) {
  const std::size_t n = limbs<N>(n_runtime);
#ifdef VELMORA_HAVE_ADX_ROWS
  if constexpr (Adx) {
    // Rows set t[N .. 2N - 1) through their carries; only the rest starts at zero.
    std::fill_n(t, N, 0);
    t[2 * N - 1] = 0;
    adx_cross_products<N>(a, t, std::make_index_sequence<N - 1>());
    adx_double_add_squares<N>(t, a);
    return;
  }
#endif
  std::fill_n(t, 2 * n, 0);
  cross_products(a, n, t);
  Limb top = 0;
  for (std::size_t i = 0; i < 2 * n; ++i) {
    const Limb w = t[i];
    t[i] = (w << 1) | top;
    top = w >> 63;
  }
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide s = static_cast<Wide>(a[i]) * a[i];
    const Wide low = static_cast<Wide>(t[2 * i]) + lo(s) + carry;
    t[2 * i] = lo(low);
    const Wide high = static_cast<Wide>(t[2 * i + 1]) + hi(s) + hi(low);
    t[2 * i + 1] = lo(high);
    carry = hi(high);
  }
}

template <std::size_t N, bool Adx>
class Montgomery {
public:
  Montgomery(const MontgomeryContext& ctx) : ctx_(ctx), scratch_(2 * ctx.n) {}

  void mul(const Limb* a, const Limb* b, Limb* out) {
    multiply<N, Adx>(a, b, ctx_.n, scratch_.data());
    redc<N, Adx>(ctx_, scratch_.data(), out);
  }
  void sqr(const Limb* a, Limb* out) {
    square<N, Adx>(a, ctx_.n, scratch_.data());
    redc<N, Adx>(ctx_, scratch_.data(), out);
  }

private:
  const MontgomeryContext& ctx_;
  std::vector<Limb> scratch_;
};

// 2^(128n) mod m, which takes numbers into Montgomery form.
bool montgomery_square_of_r(const BigInt* m, std::size_t n, Limb* out) {
  BigInt power, m_abs, reduced;
  const unsigned words = static_cast<unsigned>(4 * n + 1);
  if (!bigint_init(&power, words) || !bigint_copy(&m_abs, m)) return false;
  std::fill_n(power.words.get(), words, 0);
  power.words[words - 1] = 1;
  power.length = words;
  m_abs.sign = 0;
  if (bigint_reduce(&power, &m_abs, &reduced) != 0) return false;
  to_limbs(&reduced, out, n);
  return true;
}

// The last modulus this thread used and its 2^(128n) mod m: a key exchange powers
// twice in the same group, and the division behind the constant costs about 3% of a
// power with a 160-bit exponent. Per thread, so no lock.
struct SquareOfRCache {
  std::vector<Limb> modulus;
  std::vector<Limb> square_of_r;
};
thread_local SquareOfRCache square_of_r_cache;

// Throws std::bad_alloc when memory ran out; the cache stays consistent.
const Limb* cached_square_of_r(const BigInt* m, const MontgomeryContext& ctx) {
  if (square_of_r_cache.modulus != ctx.modulus) {
    SquareOfRCache fresh{ctx.modulus, std::vector<Limb>(ctx.n)};
    if (!montgomery_square_of_r(m, ctx.n, fresh.square_of_r.data())) return nullptr;
    std::swap(square_of_r_cache, fresh);
  }
  return square_of_r_cache.square_of_r.data();
}

unsigned window_bits(unsigned exponent_bits) {
  if (exponent_bits > 671) return 6;
  if (exponent_bits > 239) return 5;
  if (exponent_bits > 79) return 4;
  if (exponent_bits > 23) return 3;
  return 1;
}

bool exponent_bit(const BigInt* e, unsigned bit) {
  return (e->words[bit / BIG_INT_WORD_BITS_CNT] >> (bit % BIG_INT_WORD_BITS_CNT)) & 1;
}

// Sliding window over the bits of e, from the top: x is in Montgomery form, the
// result too.
template <std::size_t N, bool Adx>
void window_pow(Montgomery<N, Adx>& mont, const Limb* x, const BigInt* e, std::size_t n,
                Limb* result) {
  const unsigned bits = bigint_bit_length(e);
  const unsigned k = window_bits(bits);
  // odd_powers[i] = x^(2i + 1)
  std::vector<Limb> odd_powers(n << (k - 1));
  std::vector<Limb> x2(n);
  std::copy_n(x, n, odd_powers.data());
  mont.sqr(x, x2.data());
  for (std::size_t i = 1; i < (std::size_t{1} << (k - 1)); ++i)
    mont.mul(&odd_powers[(i - 1) * n], x2.data(), &odd_powers[i * n]);
  bool started = false;
  for (int i = static_cast<int>(bits) - 1; i >= 0;) {
    if (!exponent_bit(e, i)) {
      mont.sqr(result, result);
      --i;
      continue;
    }
    int l = std::max(i - static_cast<int>(k) + 1, 0);
    while (!exponent_bit(e, l)) ++l;
    unsigned value = 0;
    for (int j = i; j >= l; --j) value = (value << 1) | exponent_bit(e, j);
    const Limb* odd = &odd_powers[(value >> 1) * n];
    if (started) {
      for (int j = i; j >= l; --j) mont.sqr(result, result);
      mont.mul(result, odd, result);
    } else {
      std::copy_n(odd, n, result);
      started = true;
    }
    i = l - 1;
  }
}

// r := 2r mod m, for r < m.
template <std::size_t N>
void double_mod(const MontgomeryContext& ctx, Limb* r) {
  const std::size_t n = limbs<N>(ctx.n);
  const Limb* m = ctx.modulus.data();
  const Limb carry = add_n<N>(r, r, r, n);
  if (carry != 0 || at_least<N>(r, m, n)) sub_n<N>(r, m, n);
}

// Base 2, the group's generator: a set bit doubles instead of multiplying, so a
// power has no multiplications and no window table.
template <std::size_t N, bool Adx>
void power_of_two(Montgomery<N, Adx>& mont, const MontgomeryContext& ctx, const Limb* two,
                  const BigInt* e, Limb* result) {
  const unsigned bits = bigint_bit_length(e);
  std::copy_n(two, ctx.n, result);
  for (unsigned i = bits - 1; i-- > 0;) {
    mont.sqr(result, result);
    if (exponent_bit(e, i)) double_mod<N>(ctx, result);
  }
}

template <std::size_t N, bool Adx>
int montgomery_pow_limbs(const BigInt* base, const BigInt* exponent, const BigInt* m,
                         const MontgomeryContext& ctx, BigInt* result) {
  const std::size_t n = ctx.n;
  std::vector<Limb> x(n), power(n), one(n, 0);
  const Limb* r2 = cached_square_of_r(m, ctx);
  if (r2 == nullptr) return kBigIntNoMemory;
  Montgomery<N, Adx> mont(ctx);
  to_limbs(base, power.data(), n);
  mont.mul(power.data(), r2, x.data());
  if (base->length == 1 && base->words[0] == 2) {
    power_of_two(mont, ctx, x.data(), exponent, power.data());
  } else {
    window_pow(mont, x.data(), exponent, n, power.data());
  }
  one[0] = 1;
  mont.mul(power.data(), one.data(), x.data());
  return from_limbs(x.data(), n, result) ? 0 : kBigIntNoMemory;
}

template <std::size_t N>
int montgomery_pow_unrolled(const BigInt* base, const BigInt* exponent, const BigInt* m,
                            const MontgomeryContext& ctx, bool adx, BigInt* result) {
#ifdef VELMORA_HAVE_ADX_ROWS
  if (adx) return montgomery_pow_limbs<N, true>(base, exponent, m, ctx, result);
#endif
  (void)adx;
  return montgomery_pow_limbs<N, false>(base, exponent, m, ctx, result);
}

}  // namespace

bool adx_rows_available() {
#ifdef VELMORA_HAVE_ADX_ROWS
  // Asked of cpuid directly: clang 14's __builtin_cpu_supports does not know "adx".
  static const bool available = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    const unsigned bmi2 = 1u << 8, adx = 1u << 19;
    return (ebx & bmi2) != 0 && (ebx & adx) != 0;
  }();
  return available;
#else
  return false;
#endif
}

int montgomery_pow(const BigInt* base, const BigInt* exponent, const BigInt* m,
                   BigInt* result, MontgomeryKernel kernel) {
  assert((m->words[0] & 1) == 1);
  if (bigint_is_zero(exponent)) return bigint_set_word(result, 1) ? 0 : kBigIntNoMemory;
  try {
    MontgomeryContext ctx;
    ctx.n = (m->length + 1) / 2;
    ctx.modulus.resize(ctx.n);
    to_limbs(m, ctx.modulus.data(), ctx.n);
    ctx.m_inverse = negative_inverse(ctx.modulus[0]);
    const bool adx = kernel == MontgomeryKernel::automatic ? adx_rows_available()
                                                           : kernel == MontgomeryKernel::adx;
    switch (ctx.n) {  // the sizes worth unrolling: 1024-bit group, 512-bit, 2048-bit
      case 16: return montgomery_pow_unrolled<16>(base, exponent, m, ctx, adx, result);
      case 8: return montgomery_pow_unrolled<8>(base, exponent, m, ctx, adx, result);
      case 32: return montgomery_pow_unrolled<32>(base, exponent, m, ctx, adx, result);
      default: return montgomery_pow_limbs<0, false>(base, exponent, m, ctx, result);
    }
  } catch (const std::bad_alloc&) {
    return kBigIntNoMemory;
  }
}

}  // namespace velmora
