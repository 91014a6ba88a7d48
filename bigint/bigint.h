#pragma once
// Arbitrary-precision signed integers with digit-text conversion and modular
// exponentiation. A C-like interface: objects are made and released by their own
// operations.
//
// How this folder reports failure:
// - Every operation on numbers and texts returns an int status: 0 done; a small number
//   of the operation's own for input it refuses (listed with it); kBigIntNoMemory
//   whenever memory ran out, whichever step it was. On failure the output keeps the
//   value it had.
// - Creation returns null when memory ran out (or the size is refused).
// - Inside the folder, the object helpers (service_funcs.h) return false only when
//   memory ran out, and the word-array kernels cannot fail: their preconditions are
//   asserted. Allocation never throws past an operation: it uses nothrow new, and the
//   one place that uses std::vector (montgomery.cpp) turns std::bad_alloc into
//   kBigIntNoMemory at its edge.

#include <cstdint>
#include <memory>

namespace velmora {

using BigWord = std::uint32_t;
inline constexpr unsigned BIG_INT_WORD_BITS_CNT = 32;

// The status of every operation that ran out of memory.
inline constexpr int kBigIntNoMemory = 4;

// A signed integer. The magnitude lies in words[0 .. length), least significant word
// first. Normalised: no zero word at the top except the single word of zero, and zero
// has sign plus. Capacity only grows.
struct BigInt {
  std::unique_ptr<BigWord[]> words;
  int sign = 0;           // 0 = plus, 1 = minus
  unsigned length = 1;    // words in use, at least 1
  unsigned capacity = 0;  // words allocated, at least length
};

// Digit text, always followed by a NUL byte.
struct BigIntText {
  std::unique_ptr<char[]> text;
  unsigned length = 0;    // characters in use, without the NUL
  unsigned capacity = 0;  // bytes allocated, at least length + 1
};

// A new zero with `capacity` words; null when capacity is 0 or memory runs out.
BigInt* bigint_create(unsigned capacity);
void bigint_destroy(BigInt* n);

// A new empty text with room for `capacity` characters; null when capacity is
// negative or memory runs out.
BigIntText* bigint_text_create(int capacity);
void bigint_text_destroy(BigIntText* s);

// n := the plus number whose magnitude is `words` (`count` of them, least significant
// first); zero for a count of 0. kBigIntNoMemory when growing failed.
int bigint_set_words(BigInt* n, const BigWord* words, unsigned count);

// Copies `count` bytes into s. kBigIntNoMemory when growing failed.
int bigint_text_set(const char* bytes, unsigned count, BigIntText* s);

// Reads s as digits of `base` (2 to 36) with an optional leading "+" or "-".
// 0 converted; 1 base outside 2 to 36; 2 a character is not a digit of the base;
// 3 no digits; kBigIntNoMemory (4). On failure n keeps the value it had.
int bigint_from_text(const BigIntText* s, int base, BigInt* n);

// Writes n in `base` (2 to 36): lower-case digits, "-" for negatives, no leading zeros.
// 0 converted; 1 base outside 2 to 36; kBigIntNoMemory.
int bigint_to_text(const BigInt* n, int base, BigIntText* s);

// answer := a^b mod m, in 0 to abs(m) - 1. A negative b raises the inverse of a.
// 0 done; 1 m is zero; 2 b is negative and a has no inverse modulo m;
// kBigIntNoMemory. On failure the answer is untouched.
int bigint_pow_mod(const BigInt* a, const BigInt* b, const BigInt* m, BigInt* answer);

// Owning handles for callers that prefer scope-bound release.
struct BigIntDeleter {
  void operator()(BigInt* n) const { bigint_destroy(n); }
  void operator()(BigIntText* s) const { bigint_text_destroy(s); }
};
using BigIntPtr = std::unique_ptr<BigInt, BigIntDeleter>;
using BigIntTextPtr = std::unique_ptr<BigIntText, BigIntDeleter>;

}  // namespace velmora
