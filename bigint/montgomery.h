#pragma once
// Modular exponentiation for an odd modulus in Montgomery form: no division per
// product, a sliding window over the exponent and a dedicated squaring; base 2 doubles
// instead of multiplying.

#include "bigint/bigint.h"

namespace velmora {

// Which row kernel the unrolled sizes (8, 16 and 32 limbs of 64 bits) use:
// automatic takes the mulx/adcx/adox rows when the CPU has them. Tests force each one;
// adx on a CPU without the instructions is undefined.
enum class MontgomeryKernel { automatic, portable, adx };

// result := base^abs(exponent) mod abs(m), for odd m and 2 <= base < abs(m).
// 0 done or kBigIntNoMemory.
int montgomery_pow(const BigInt* base, const BigInt* exponent, const BigInt* m,
                   BigInt* result, MontgomeryKernel kernel = MontgomeryKernel::automatic);

}  // namespace velmora
