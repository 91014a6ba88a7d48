// Digit text of any bytes in any base: a successful read writes back in canonical form,
// and small operands exponentiate as 128-bit arithmetic does.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bigint/bigint.h"
#include "secure/dh_arith.h"

namespace {

using velmora::BigIntPtr;
using velmora::BigIntTextPtr;

// The digits after an optional sign, lower case, leading zeros gone ("0" for zero).
std::string canonical(const std::string& in) {
  std::size_t i = 0;
  bool minus = false;
  if (!in.empty() && (in[0] == '+' || in[0] == '-')) minus = in[i++] == '-';
  std::string digits;
  for (; i < in.size(); ++i) digits += static_cast<char>(std::tolower(static_cast<unsigned char>(in[i])));
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return "0";
  return (minus ? "-" : "") + digits.substr(first);
}

void check_round_trip(const std::string& text, int base) {
  BigIntPtr n(velmora::bigint_create(1));
  BigIntTextPtr s(velmora::bigint_text_create(0));
  if (velmora::bigint_text_set(text.data(), static_cast<unsigned>(text.size()), s.get()) != 0) abort();
  if (velmora::bigint_from_text(s.get(), base, n.get()) != 0) return;
  if (velmora::bigint_to_text(n.get(), base, s.get()) != 0) abort();
  if (std::string(s->text.get(), s->length) != canonical(text)) abort();
}

std::uint64_t read64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

// A base that reduces to 0 or 1 is its own power, even to the exponent 0.
unsigned __int128 pow_mod_reference(std::uint64_t b, std::uint64_t e, std::uint64_t m) {
  unsigned __int128 r = 1, x = b % m;
  if (x <= 1) return x;
  for (; e != 0; e >>= 1) {
    if (e & 1) r = r * x % m;
    x = x * x % m;
  }
  return r;
}

std::string decimal(unsigned __int128 v) {
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  return s;
}

void check_pow_mod(const std::uint8_t* data) {
  const std::uint64_t b = read64(data), e = read64(data + 8) >> 48, m = read64(data + 16);
  const std::string got = velmora::mod_pow_decimal(decimal(b), decimal(e), decimal(m));
  if (m == 0) {
    if (!got.empty()) abort();
    return;
  }
  if (got != decimal(pow_mod_reference(b, e, m))) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int base = 2 + data[0] % 35;
  check_round_trip(std::string(reinterpret_cast<const char*>(data + 1), size - 1), base);
  if (size >= 25) check_pow_mod(data + 1);
  return 0;
}
