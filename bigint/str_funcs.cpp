// The text object and the conversions between numbers and digit text.

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <new>

#include "bigint/service_funcs.h"

namespace velmora {

namespace {

constexpr int kMinBase = 2;
constexpr int kMaxBase = 36;

// Size estimates per base 2..36, each rounded up so that it is never too small.
constexpr double kBytesPerDigit[] = {
    0.126, 0.199, 0.251, 0.291, 0.324, 0.352, 0.376, 0.397, 0.416, 0.433, 0.449, 0.464,
    0.477, 0.489, 0.501, 0.512, 0.522, 0.532, 0.541, 0.550, 0.558, 0.566, 0.574, 0.581,
    0.589, 0.595, 0.602, 0.608, 0.614, 0.620, 0.626, 0.632, 0.637, 0.642, 0.647};
constexpr double kDigitsPerByte[] = {
    8.001, 5.048, 4.001, 3.446, 3.096, 2.851, 2.668, 2.525, 2.409, 2.314, 2.233, 2.163,
    2.102, 2.049, 2.001, 1.958, 1.919, 1.884, 1.852, 1.822, 1.795, 1.770, 1.746, 1.724,
    1.703, 1.683, 1.665, 1.648, 1.631, 1.616, 1.601, 1.587, 1.573, 1.561, 1.548};

constexpr char kDigitChars[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr unsigned char kNotADigit = 0xff;

// Built at compile time, so threads never race to fill it.
constexpr std::array<unsigned char, 256> make_digit_values() {
  std::array<unsigned char, 256> table{};
  for (auto& v : table) v = kNotADigit;
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<unsigned char>(i);
  for (int i = 0; i < 26; ++i) {
    table['a' + i] = static_cast<unsigned char>(10 + i);
    table['A' + i] = static_cast<unsigned char>(10 + i);
  }
  return table;
}
constexpr std::array<unsigned char, 256> digit_values = make_digit_values();

// The largest power of `base` that fits a word, and its exponent: the conversions
// work one such chunk of digits at a time instead of one digit.
struct Chunk {
  BigWord power;
  unsigned digits;
};
Chunk chunk_for(int base) {
  std::uint64_t power = base;
  unsigned digits = 1;
  while (power * base <= 0xffffffffu) {
    power *= base;
    ++digits;
  }
  return {static_cast<BigWord>(power), digits};
}

// words[0 .. used) := words * factor + addend; returns the new used count.
unsigned multiply_add(BigWord* words, unsigned used, BigWord factor, BigWord addend) {
  std::uint64_t carry = addend;
  for (unsigned i = 0; i < used; ++i) {
    carry += static_cast<std::uint64_t>(words[i]) * factor;
    words[i] = static_cast<BigWord>(carry);
    carry >>= BIG_INT_WORD_BITS_CNT;
  }
  if (carry != 0) words[used++] = static_cast<BigWord>(carry);
  return used;
}

// words[0 .. used) /= divisor; returns the remainder. A constant divisor lets the
// compiler replace the division by a multiplication.
template <typename Divisor>
BigWord divide_in_place(BigWord* words, unsigned used, Divisor divisor) {
  std::uint64_t rem = 0;
  for (unsigned i = used; i-- > 0;) {
    rem = (rem << BIG_INT_WORD_BITS_CNT) | words[i];
    words[i] = static_cast<BigWord>(rem / divisor);
    rem %= divisor;
  }
  return static_cast<BigWord>(rem);
}

struct Decimal {
  static constexpr std::uint64_t value = 1000000000;
  constexpr operator std::uint64_t() const { return value; }
};

BigWord divide_chunk(BigWord* words, unsigned used, const Chunk& chunk) {
  if (chunk.power == Decimal::value) return divide_in_place(words, used, Decimal{});
  return divide_in_place(words, used, std::uint64_t{chunk.power});
}

bool all_digits(const char* p, const char* end, int base) {
  for (; p != end; ++p) {
    if (digit_values[static_cast<unsigned char>(*p)] >= base) return false;
  }
  return true;
}

// Horner's rule over chunks of digits into words (zeroed, room for the estimate).
unsigned read_digits(const char* p, const char* end, int base, BigWord* words) {
  const Chunk chunk = chunk_for(base);
  unsigned used = 1;
  words[0] = 0;
  while (p != end) {
    const unsigned take = std::min<std::size_t>(chunk.digits, end - p);
    BigWord value = 0, factor = 1;
    for (unsigned i = 0; i < take; ++i, ++p) {
      value = value * base + digit_values[static_cast<unsigned char>(*p)];
      factor *= base;
    }
    used = multiply_add(words, used, factor, value);
  }
  return used;
}

// Writes the digits of magnitude (destroyed) right-aligned ending before `right`;
// returns the first digit written.
char* write_digits(BigWord* magnitude, unsigned used, int base, char* right) {
  const Chunk chunk = chunk_for(base);
  char* p = right;
  do {
    BigWord rem = divide_chunk(magnitude, used, chunk);
    while (used > 1 && magnitude[used - 1] == 0) --used;
    const bool last = used == 1 && magnitude[0] == 0;
    for (unsigned i = 0; i < chunk.digits && (!last || rem != 0 || i == 0); ++i) {
      *--p = kDigitChars[rem % base];
      rem /= base;
    }
    if (last) break;
  } while (true);
  return p;
}

bool grow_text(BigIntText* s, std::uint64_t capacity) {
  if (capacity > 0xffffffffu) return false;
  if (s->capacity >= capacity) return true;
  std::unique_ptr<char[]> bigger(new (std::nothrow) char[capacity]);
  if (!bigger) return false;
  if (s->text) std::memcpy(bigger.get(), s->text.get(), s->capacity);
  s->text = std::move(bigger);
  s->capacity = static_cast<unsigned>(capacity);
  return true;
}

}  // namespace

BigIntText* bigint_text_create(int capacity) {
  if (capacity < 0) return nullptr;
  BigIntText* s = new (std::nothrow) BigIntText;
  if (s == nullptr) return nullptr;
  if (!grow_text(s, static_cast<std::uint64_t>(capacity) + 1)) {
    delete s;
    return nullptr;
  }
  s->text[0] = '\0';
  return s;
}

void bigint_text_destroy(BigIntText* s) { delete s; }

int bigint_text_set(const char* bytes, unsigned count, BigIntText* s) {
  assert(s != nullptr && (bytes != nullptr || count == 0));
  if (!grow_text(s, std::uint64_t{count} + 1)) return kBigIntNoMemory;
  if (count != 0) std::memmove(s->text.get(), bytes, count);
  s->text[count] = '\0';
  s->length = count;
  return 0;
}

int bigint_from_text(const BigIntText* s, int base, BigInt* n) {
  assert(s != nullptr && n != nullptr);
  if (base < kMinBase || base > kMaxBase) return 1;
  const char* p = s->text.get();
  const char* end = p + s->length;
  int sign = 0;
  if (p != end && (*p == '+' || *p == '-')) sign = *p++ == '-' ? 1 : 0;
  const std::size_t k = end - p;
  if (k == 0) return 3;
  // Checked before anything is written, so a bad text leaves n as it was.
  if (!all_digits(p, end, base)) return 2;
  const auto bytes = static_cast<std::uint64_t>(k * kBytesPerDigit[base - kMinBase] + 1);
  const std::uint64_t words = (bytes + 3) / 4 + 1;
  if (words > 0xffffffffu || !bigint_grow(n, static_cast<unsigned>(words))) return kBigIntNoMemory;
  n->length = read_digits(p, end, base, n->words.get());
  n->sign = sign;
  bigint_normalise(n);
  return 0;
}

int bigint_to_text(const BigInt* n, int base, BigIntText* s) {
  assert(n != nullptr && s != nullptr);
  if (base < kMinBase || base > kMaxBase) return 1;
  const auto e = static_cast<std::uint64_t>(n->length * kDigitsPerByte[base - kMinBase] * 4 + 2);
  if (!grow_text(s, e + 1)) return kBigIntNoMemory;
  std::unique_ptr<BigWord[]> copy(new (std::nothrow) BigWord[n->length]);
  if (!copy) return kBigIntNoMemory;
  std::copy_n(n->words.get(), n->length, copy.get());
  const bool minus = n->sign == 1 && !bigint_is_zero(n);
  char* area = s->text.get() + (minus ? 1 : 0);
  char* right = s->text.get() + e;
  char* first = write_digits(copy.get(), n->length, base, right);
  assert(first >= area);
  const std::size_t count = right - first;
  std::memmove(area, first, count);
  if (minus) s->text[0] = '-';
  area[count] = '\0';
  s->length = static_cast<unsigned>(count + (minus ? 1 : 0));
  return 0;
}

}  // namespace velmora
