#pragma once
// Arithmetic modulo m: results lie in 0 to abs(m) - 1.

#include "bigint/bigint.h"

namespace velmora {

// r := a mod m. 1 when m is zero; 4 to 6 memory ran out.
int bigint_reduce(const BigInt* a, const BigInt* m, BigInt* r);

// r := a * b mod m and r := a * a mod m (r may be any of the operands).
// 1 when m is zero; 3 to 6 memory ran out.
int bigint_mod_mul(const BigInt* a, const BigInt* b, const BigInt* m, BigInt* r);
int bigint_mod_sqr(const BigInt* a, const BigInt* m, BigInt* r);

// r := the inverse of a modulo m. 2 when there is none; 10 memory ran out.
int bigint_mod_inverse(const BigInt* a, const BigInt* m, BigInt* r);

}  // namespace velmora
