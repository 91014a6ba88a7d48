#pragma once
// Moves numbers between BigInt and GMP word by word, independent of the text
// conversions under test.

#include <gmp.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bigint/bigint.h"

namespace velmora::test_support {

class Mpz {
public:
  Mpz() { mpz_init(v); }
  explicit Mpz(const char* text, int base = 10) { mpz_init_set_str(v, text, base); }
  ~Mpz() { mpz_clear(v); }
  Mpz(const Mpz&) = delete;
  Mpz& operator=(const Mpz&) = delete;
  operator mpz_ptr() { return v; }
  operator mpz_srcptr() const { return v; }
  mpz_srcptr get() const { return v; }
  std::string str(int base = 10) const { return text(v, base); }

  static std::string text(mpz_srcptr x, int base = 10) {
    std::string s(mpz_sizeinbase(x, base) + 2, '\0');
    mpz_get_str(s.data(), base, x);
    s.resize(s.find('\0'));
    return s;
  }

private:
  mpz_t v;
};

inline BigIntPtr to_bigint(mpz_srcptr x) {
  std::vector<std::uint32_t> words(mpz_sizeinbase(x, 2) / 32 + 1, 0);
  std::size_t count = 0;
  mpz_export(words.data(), &count, -1, sizeof(std::uint32_t), 0, 0, x);
  BigIntPtr n(bigint_create(static_cast<unsigned>(words.size())));
  for (std::size_t i = 0; i < words.size(); ++i) n->words[i] = words[i];
  n->length = count == 0 ? 1 : static_cast<unsigned>(count);
  n->sign = mpz_sgn(x) < 0 ? 1 : 0;
  return n;
}

inline void to_mpz(const BigInt* n, mpz_ptr x) {
  mpz_import(x, n->length, -1, sizeof(BigWord), 0, 0, n->words.get());
  if (n->sign == 1) mpz_neg(x, x);
}

inline bool is_normalised(const BigInt* n) {
  if (n->length < 1 || n->length > n->capacity) return false;
  if (n->length > 1 && n->words[n->length - 1] == 0) return false;
  return !(n->length == 1 && n->words[0] == 0 && n->sign != 0);
}

// Random operands that favour the shapes where word arithmetic goes wrong:
// zero, one, all-ones words, a top word of 1 and lone high bits.
class OperandSource {
public:
  explicit OperandSource(std::uint64_t seed) : rng_(seed) {}

  std::uint32_t word() {
    switch (rng_() % 8) {
      case 0: return 0;
      case 1: return 0xffffffffu;
      case 2: return 1u << (rng_() % 32);
      default: return static_cast<std::uint32_t>(rng_());
    }
  }

  // A magnitude of 1 to max_words words, with the top word non-zero.
  void magnitude(mpz_ptr x, unsigned max_words) {
    const unsigned n = 1 + rng_() % max_words;
    std::vector<std::uint32_t> w(n);
    for (auto& v : w) v = word();
    if (w.back() == 0) w.back() = rng_() % 2 ? 1 : static_cast<std::uint32_t>(rng_()) | 1;
    mpz_import(x, n, -1, sizeof(std::uint32_t), 0, 0, w.data());
  }

  void signed_value(mpz_ptr x, unsigned max_words) {
    switch (rng_() % 10) {
      case 0: mpz_set_ui(x, 0); return;
      case 1: mpz_set_si(x, rng_() % 2 ? 1 : -1); return;
      default: magnitude(x, max_words);
    }
    if (rng_() % 2) mpz_neg(x, x);
  }

  unsigned below(unsigned n) { return static_cast<unsigned>(rng_() % n); }
  bool coin() { return rng_() % 2 == 0; }

private:
  std::mt19937_64 rng_;
};

}  // namespace velmora::test_support
