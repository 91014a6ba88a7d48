#include "bigint/service_funcs.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <new>

namespace velmora {

BigInt* bigint_create(unsigned capacity) {
  if (capacity == 0) return nullptr;
  BigInt* n = new (std::nothrow) BigInt;
  if (n == nullptr) return nullptr;
  if (!bigint_init(n, capacity)) {
    delete n;
    return nullptr;
  }
  return n;
}

void bigint_destroy(BigInt* n) { delete n; }

bool bigint_init(BigInt* n, unsigned capacity) {
  assert(n != nullptr);
  if (!bigint_grow(n, std::max(capacity, 1u))) return false;
  n->words[0] = 0;
  n->length = 1;
  n->sign = 0;
  return true;
}

bool bigint_grow(BigInt* n, unsigned capacity) {
  assert(n != nullptr);
  if (n->capacity >= capacity) return true;
  std::unique_ptr<BigWord[]> bigger(new (std::nothrow) BigWord[capacity]);
  if (!bigger) return false;
  if (n->words) std::copy_n(n->words.get(), n->capacity, bigger.get());
  n->words = std::move(bigger);
  n->capacity = capacity;
  return true;
}

bool bigint_copy(BigInt* dst, const BigInt* src) {
  assert(dst != nullptr && src != nullptr);
  if (dst == src) return true;
  if (!bigint_grow(dst, src->length)) return false;
  std::copy_n(src->words.get(), src->length, dst->words.get());
  dst->length = src->length;
  dst->sign = src->sign;
  return true;
}

bool bigint_set_word(BigInt* n, BigWord w) {
  // Any number has room for one word once it has room at all. Asking bigint_grow only
  // then also keeps GCC 14 from warning (-Warray-bounds) about the copy it inlines,
  // which it cannot see is empty.
  if (n->capacity == 0 && !bigint_grow(n, 1)) return false;
  n->words[0] = w;
  n->length = 1;
  n->sign = 0;
  return true;
}

int bigint_set_words(BigInt* n, const BigWord* words, unsigned count) {
  if (count == 0) return bigint_set_word(n, 0) ? 0 : kBigIntNoMemory;
  if (!bigint_grow(n, count)) return kBigIntNoMemory;
  std::copy_n(words, count, n->words.get());
  n->length = count;
  n->sign = 0;
  bigint_normalise(n);
  return 0;
}

void bigint_normalise(BigInt* n) {
  assert(n != nullptr && n->length >= 1);
  while (n->length > 1 && n->words[n->length - 1] == 0) --n->length;
  if (n->length == 1 && n->words[0] == 0) n->sign = 0;
}

bool bigint_is_zero(const BigInt* n) { return n->length == 1 && n->words[0] == 0; }

bool bigint_is_one(const BigInt* n) {
  return n->length == 1 && n->words[0] == 1 && n->sign == 0;
}

unsigned bigint_bit_length(const BigInt* n) {
  const BigWord top = n->words[n->length - 1];
  return (n->length - 1) * BIG_INT_WORD_BITS_CNT + std::bit_width(top);
}

}  // namespace velmora
