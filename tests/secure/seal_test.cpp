#include "secure/seal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "secure/hex.h"

namespace velmora {
namespace {

struct HexCase {
  const char* text;
  std::string bytes;
};

TEST(Hex, EncodesUpperCase) {
  EXPECT_EQ(hex_encode("abc"), "616263");
  EXPECT_EQ(hex_encode(std::string("\x00\xFF\x0A", 3)), "00FF0A");
  EXPECT_EQ(hex_encode(""), "");
}

TEST(Hex, DecodesWhatItCanAndNeverFails) {
  const HexCase cases[] = {
      {"616263", "abc"},
      {"fF0a", std::string("\xFF\x0A", 2)},
      {"", ""},
      {"6", "\x06"},                    // a lone last digit is a pair of its own
      {"41G2", std::string("A\0", 2)},  // no leading hex digit in "G2"
      {"4G", "\x04"},                   // the leading digit of "4G"
      {"ZZZ", std::string("\0\0", 2)},
  };
  for (const HexCase& c : cases) EXPECT_EQ(hex_decode(c.text), c.bytes) << c.text;
}

struct SealCase {
  const char* plain_hex;
  const char* sealed;
};

// Under the key of 56 'K's with the vector 0011223344556677.
constexpr SealCase kFixedIvCases[] = {
    {"", "0011223344556677C7EA4B4FAA4FC189"},
    {"68656C6C6F", "0011223344556677D2881332B6636625"},
    {"65786163746C7938", "0011223344556677D8FA7548961BE7922950B2950E72D713"},
    {"4141414141414141414141414141414141414141414141",
     "001122334455667790E9D933D6B81CA10744A2C5D365D175381E6F29625C7F0C"},
    {"000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F20212223242526272829"
     "2A2B2C2D2E2F3031323334353637",
     "00112233445566774208EF8C30E1116567D146C800121BF38B7F5101B98698E560695DB1054432AE255E"
     "5B28F457AA8A4DADE2196D276516E47E3B20880CCC853FDF5DFD77B6B956"},
};

BlowfishCipher k_cipher() {
  BlowfishCipher cipher;
  cipher.set_key(std::string(56, 'K'));
  return cipher;
}

TEST(SealCbc, MatchesKnownAnswersWithAFixedVector) {
  const BlowfishCipher cipher = k_cipher();
  for (const SealCase& c : kFixedIvCases) {
    std::string plain = hex_decode(c.plain_hex);
    EXPECT_EQ(seal_cbc_with_iv(cipher, plain, hex_decode("0011223344556677")), c.sealed);
    EXPECT_EQ(open_cbc(cipher, c.sealed), plain);
  }
}

TEST(SealCbc, LengthsFollowThePadding) {
  const BlowfishCipher cipher = k_cipher();
  for (std::size_t size : {0u, 1u, 5u, 7u, 8u, 9u, 23u, 56u, 300u}) {
    std::string sealed = seal_cbc(cipher, std::string(size, 'x'));
    EXPECT_EQ(sealed.size(), sealed_cbc_size(size));
    EXPECT_TRUE(std::all_of(sealed.begin(), sealed.end(), [](char c) {
      return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F');
    }));
  }
  EXPECT_EQ(seal_cbc(cipher, "").size(), 32u);
  EXPECT_EQ(seal_cbc(cipher, std::string(23, 'a')).size(), 64u);
  EXPECT_EQ(seal_cbc(cipher, std::string(56, 'a')).size(), 144u);
  EXPECT_EQ(seal_ecb(cipher, std::string(56, 'a')).size(), 128u);
}

TEST(SealCbc, EverySealDrawsAFreshVector) {
  const BlowfishCipher cipher = k_cipher();
  std::set<std::string> vectors;
  for (int i = 0; i < 64; ++i) vectors.insert(seal_cbc(cipher, "same line").substr(0, 16));
  EXPECT_EQ(vectors.size(), 64u);
}

TEST(OpenCbc, RoundTripsEveryByteValue) {
  const BlowfishCipher cipher = k_cipher();
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (std::size_t size = 0; size <= all.size(); size += 17) {
    std::string plain = all.substr(0, size);
    EXPECT_EQ(open_cbc(cipher, seal_cbc(cipher, plain)), plain);
  }
}

TEST(OpenCbc, ToleratesShortLowerCaseAndTrailingText) {
  const BlowfishCipher cipher = k_cipher();
  std::string sealed = "0011223344556677D2881332B6636625";
  EXPECT_EQ(open_cbc(cipher, sealed.substr(0, 31)), "");
  EXPECT_EQ(open_cbc(cipher, ""), "");
  EXPECT_EQ(open_cbc(cipher, sealed + "ABCDE"), "hello");
  std::string lower = sealed;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  EXPECT_EQ(open_cbc(cipher, lower), "hello");
}

TEST(OpenCbc, WrongKeyOrGarbageStaysWithinTheInput) {
  BlowfishCipher other;
  other.set_key("another key");
  const BlowfishCipher cipher = k_cipher();
  std::string sealed = seal_cbc(cipher, std::string(40, 'q'));
  const std::string inputs[] = {sealed, std::string(33, 'Z'), std::string(48, '\xFF'),
                                "0011223344556677" + std::string(17, 'g')};
  for (const std::string& text : inputs) {
    EXPECT_LE(open_cbc(other, text).size(), text.size());
    EXPECT_LE(open_cbc(cipher, text).size(), text.size());
  }
}

TEST(SealEcb, BlocksAreIndependent) {
  const BlowfishCipher cipher = k_cipher();
  std::string sealed = seal_ecb(cipher, std::string(16, 'a'));
  ASSERT_EQ(sealed.size(), 48u);
  EXPECT_EQ(sealed.substr(0, 16), sealed.substr(16, 16));
  EXPECT_EQ(sealed.substr(32), encrypt_block_hex(cipher, std::string(8, '\x08')));
}

}  // namespace
}  // namespace velmora
