#pragma once
// Random numbers and texts from the operating system's CSPRNG (getrandom), so nothing
// is seeded from the clock and no library is loaded at run time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Fills `size` bytes at `out`. A system that gives no random bytes at all (getrandom
// and /dev/urandom both fail) stops the program: nothing is ever sealed with values
// nobody drew.
void fill_random(void* out, std::size_t size);

// `count` random bytes.
std::string random_bytes(std::size_t count);

// Uniform in [0, bound) without modulo bias; 0 for a bound of 0.
std::uint32_t random_below(std::uint32_t bound);

// A random number of exactly `bits` bits (the top bit set) as 32-bit words, least
// significant first, as BigInt keeps them. Empty when `bits` is 0.
std::vector<std::uint32_t> random_words(int bits);

// The same number as decimal text, used as a Diffie-Hellman private exponent.
std::string random_integer(int bits);

// 56 characters from A-Z a-z 0-9: a new channel key, and the token's filler.
std::string random_string();

}  // namespace velmora
