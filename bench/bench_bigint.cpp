// mod_pow_decimal (decimal text in and out, as the key exchange calls it) against
// GMP's mpz_powm on the same operands in the same run.

#include <benchmark/benchmark.h>
#include <gmp.h>

#include <random>
#include <string>

#include "secure/dh_arith.h"

namespace {

std::string random_decimal(unsigned bits, std::mt19937_64& rng) {
  mpz_t x;
  mpz_init(x);
  for (unsigned i = 0; i < bits; i += 64) {
    mpz_mul_2exp(x, x, 64);
    mpz_add_ui(x, x, static_cast<unsigned long>(rng()));
  }
  mpz_fdiv_r_2exp(x, x, bits);
  mpz_setbit(x, bits - 1);
  char* s = mpz_get_str(nullptr, 10, x);
  std::string out(s);
  free(s);
  mpz_clear(x);
  return out;
}

struct Operands {
  std::string base, exponent;
};

// Base 2 or a random 1023-bit base; exponent of the given bits.
Operands operands(bool random_base, unsigned exponent_bits) {
  std::mt19937_64 rng(42 + exponent_bits);
  return {random_base ? random_decimal(1023, rng) : "2", random_decimal(exponent_bits, rng)};
}

void BM_mod_pow_decimal(benchmark::State& state) {
  const Operands op = operands(state.range(0) != 0, static_cast<unsigned>(state.range(1)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(velmora::mod_pow_decimal(op.base, op.exponent, velmora::dh_prime));
  }
}

void BM_gmp_powm(benchmark::State& state) {
  const Operands op = operands(state.range(0) != 0, static_cast<unsigned>(state.range(1)));
  mpz_t b, e, m, r;
  mpz_init_set_str(b, op.base.c_str(), 10);
  mpz_init_set_str(e, op.exponent.c_str(), 10);
  mpz_init_set_str(m, velmora::dh_prime.c_str(), 10);
  mpz_init(r);
  for (auto _ : state) {
    mpz_powm(r, b, e, m);
    benchmark::DoNotOptimize(r);
  }
  mpz_clears(b, e, m, r, nullptr);
}

// Args: {random base?, exponent bits}
#define VELMORA_POW_ARGS \
  ->Args({0, 160})->Args({1, 160})->Args({0, 1024})->Args({1, 1024})->Unit(benchmark::kMicrosecond)

BENCHMARK(BM_mod_pow_decimal) VELMORA_POW_ARGS;
BENCHMARK(BM_gmp_powm) VELMORA_POW_ARGS;

}  // namespace

BENCHMARK_MAIN();
