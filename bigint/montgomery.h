#pragma once
// Modular exponentiation for an odd modulus in Montgomery form: no division per
// product, a sliding window over the exponent and a dedicated squaring.

#include "bigint/bigint.h"

namespace velmora {

// result := base^abs(exponent) mod abs(m), for odd m and 2 <= base < abs(m).
// 6 when memory ran out.
int montgomery_pow(const BigInt* base, const BigInt* exponent, const BigInt* m,
                   BigInt* result);

}  // namespace velmora
