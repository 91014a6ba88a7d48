#pragma once
// Kernels on little-endian arrays of 32-bit words given as [begin, end) ranges.
// They allocate nothing and check their preconditions with assertions.

#include "bigint/bigint.h"

namespace velmora::word_array {

// c := a + b for len(a) >= len(b) >= 1; c has len(a) + 1 words and may be a.
void add(const BigWord* a, const BigWord* a_end, const BigWord* b, const BigWord* b_end,
         BigWord* c);

// c := a - b for a >= b, len(a) >= len(b) >= 1; c has len(a) words and may be a.
void sub(const BigWord* a, const BigWord* a_end, const BigWord* b, const BigWord* b_end,
         BigWord* c);

// c := a * b for len(a) >= len(b) >= 1; c has len(a) + len(b) words.
void mul(const BigWord* a, const BigWord* a_end, const BigWord* b, const BigWord* b_end,
         BigWord* c);

// c := a * a; c has 2 len(a) words.
void sqr(const BigWord* a, const BigWord* a_end, BigWord* c);

// Divides a by the normalised b (top bit of its top word set): the quotient's
// len(a) - len(b) words go to c, the remainder replaces the low len(b) words of a.
// The top word of a must be below the top word of b (an extended dividend).
void div(BigWord* a, BigWord* a_end, const BigWord* b, const BigWord* b_end, BigWord* c);

// -1, 0 or 1 for two arrays of the same length.
int cmp(const BigWord* a, const BigWord* a_end, const BigWord* b);

}  // namespace velmora::word_array
