#pragma once
// Arithmetic modulo m: results lie in 0 to abs(m) - 1.

#include "bigint/bigint.h"

namespace velmora {

// Statuses as in bigint.h: 0 done, kBigIntNoMemory, otherwise as listed.

// r := a mod m. 1 when m is zero.
int bigint_reduce(const BigInt* a, const BigInt* m, BigInt* r);

// r := a * b mod m and r := a * a mod m (r may be any of the operands).
// 1 when m is zero.
int bigint_mod_mul(const BigInt* a, const BigInt* b, const BigInt* m, BigInt* r);
int bigint_mod_sqr(const BigInt* a, const BigInt* m, BigInt* r);

// r := the inverse of a modulo m. 2 when there is none.
int bigint_mod_inverse(const BigInt* a, const BigInt* m, BigInt* r);

}  // namespace velmora
