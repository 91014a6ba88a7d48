#pragma once
// Signed arithmetic on BigInt. Results may be the same objects as operands.
// Statuses: 0 done, kBigIntNoMemory, otherwise as listed.

#include "bigint/bigint.h"

namespace velmora {

// -1, 0 or 1 comparing abs(a) with abs(b).
int bigint_compare_abs(const BigInt* a, const BigInt* b);

// c := a + b and c := a - b.
int bigint_add(const BigInt* a, const BigInt* b, BigInt* c);
int bigint_sub(const BigInt* a, const BigInt* b, BigInt* c);

// c := a * b.
int bigint_mul(const BigInt* a, const BigInt* b, BigInt* c);

// Truncating division: x = q * y + r, r has the sign of x, abs(r) < abs(y).
// q and r may be null. 1 division by zero.
int bigint_divmod(const BigInt* x, const BigInt* y, BigInt* q, BigInt* r);

}  // namespace velmora
