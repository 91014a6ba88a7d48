#pragma once
// Diffie-Hellman arithmetic on decimal text, over the 1024-bit MODP group of RFC 2409
// (the second Oakley group) with generator 2.

#include <string>
#include <string_view>

namespace velmora {

// The group's prime as its 309 decimal digits, and the generator "2".
extern const std::string dh_prime;
extern const std::string dh_generator;

// base^exponent mod modulus, all three and the result as decimal text (no leading
// zeros). Returns the empty text when an operand is not a decimal number (an optional
// sign and at least one digit, nothing else) or the modulus is zero.
std::string mod_pow_decimal(std::string_view base, std::string_view exponent,
                            std::string_view modulus);

// True when `text` is a decimal number between 2 and dh_prime - 2: the only values
// a peer may send as its public value.
bool is_valid_public_value(std::string_view text);

}  // namespace velmora
