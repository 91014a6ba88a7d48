#pragma once
// Creation, growth, copying and normalising of BigInt, for the facility's own modules.
// Every bool result is false only when memory ran out.

#include "bigint/bigint.h"

namespace velmora {

// Makes a default-constructed number a zero with `capacity` words.
bool bigint_init(BigInt* n, unsigned capacity);

// Grows the word array to exactly `capacity` words when it is smaller, keeping the words.
bool bigint_grow(BigInt* n, unsigned capacity);

// dst := src (dst may be src).
bool bigint_copy(BigInt* dst, const BigInt* src);

// n := w, sign plus.
bool bigint_set_word(BigInt* n, BigWord w);

// Drops zero words from the top and gives zero the sign plus.
void bigint_normalise(BigInt* n);

bool bigint_is_zero(const BigInt* n);
bool bigint_is_one(const BigInt* n);  // magnitude 1 and sign plus

// Number of significant bits of the magnitude (0 for zero).
unsigned bigint_bit_length(const BigInt* n);

}  // namespace velmora
