#include "secure/dh_arith.h"

#include <algorithm>

#include "bigint/bigint.h"

namespace velmora {

// RFC 2409, section 6.2: 2^1024 - 2^960 - 1 + 2^64 * (floor(2^894 pi) + 129093).
const std::string dh_prime =
    "17976931348623159077083915679378745319786029604875601170644442368419718021615851936894"
    "78337958649255415021805654859805036464405481992391000507928770033558166392295531362390"
    "76508735759914822574862575007425302077447712589550957937778424442426617334727629299387"
    "668709205606050270810842907692932019128194467627007";
const std::string dh_generator = "2";

namespace {

// An optional sign and at least one digit, nothing else.
bool is_decimal_number(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool read_decimal(std::string_view text, BigIntText* scratch, BigInt* n) {
  return bigint_text_set(text.data(), static_cast<unsigned>(text.size()), scratch) == 0 &&
         bigint_from_text(scratch, 10, n) == 0;
}

// Digits of a decimal number without sign and leading zeros; "" for zero.
std::string_view significant_digits(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  const auto first = text.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

// Compares two digit strings without leading zeros.
int compare_digits(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
}

}  // namespace

std::string mod_pow_decimal(std::string_view base, std::string_view exponent,
                            std::string_view modulus) {
  if (!is_decimal_number(base) || !is_decimal_number(exponent) ||
      !is_decimal_number(modulus) || significant_digits(modulus).empty()) {
    return {};
  }
  BigIntPtr b(bigint_create(1)), e(bigint_create(1)), m(bigint_create(1));
  BigIntPtr answer(bigint_create(1));
  BigIntTextPtr text(bigint_text_create(1));
  if (!b || !e || !m || !answer || !text) return {};
  if (!read_decimal(base, text.get(), b.get()) || !read_decimal(exponent, text.get(), e.get()) ||
      !read_decimal(modulus, text.get(), m.get())) {
    return {};
  }
  // Status 2 (a negative exponent without inverse) leaves the answer at 0 on purpose:
  // that is what peers compute too.
  const int status = bigint_pow_mod(b.get(), e.get(), m.get(), answer.get());
  if (status != 0 && status != 2) return {};
  if (bigint_to_text(answer.get(), 10, text.get()) != 0) return {};
  return std::string(text->text.get(), text->length);
}

bool is_valid_public_value(std::string_view text) {
  if (!is_decimal_number(text) || text.front() == '-') return false;
  static const std::string kLowest = "2";
  static const std::string kHighest = [] {
    std::string p = dh_prime;  // the prime ends in 7, so p - 2 only changes the last digit
    p.back() = static_cast<char>(p.back() - 2);
    return p;
  }();
  const std::string_view digits = significant_digits(text);
  return compare_digits(digits, kLowest) >= 0 && compare_digits(digits, kHighest) <= 0;
}

}  // namespace velmora
