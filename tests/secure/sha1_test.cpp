#include "secure/sha1.h"

#include <gtest/gtest.h>

#include <string>

#include "secure/hex.h"

namespace velmora {
namespace {

struct DigestCase {
  std::string text;
  int repeat;
  const char* digest;
};

std::string digest_of(const DigestCase& c, std::size_t chunk) {
  Sha1Context context;
  EXPECT_EQ(SHA1Reset(&context), sha1_success);
  for (int i = 0; i < c.repeat; ++i) {
    for (std::size_t at = 0; at < c.text.size(); at += chunk) {
      std::string part = c.text.substr(at, chunk);
      EXPECT_EQ(SHA1Input(&context, reinterpret_cast<const std::uint8_t*>(part.data()),
                          part.size()),
                sha1_success);
    }
  }
  std::uint8_t digest[kSha1HashSize];
  EXPECT_EQ(SHA1Result(&context, digest), sha1_success);
  return hex_encode(std::string_view(reinterpret_cast<const char*>(digest), kSha1HashSize));
}

// FIPS 180-1 / RFC 3174 test vectors.
TEST(Sha1, PublishedVectorsInAnyChunking) {
  const DigestCase cases[] = {
      {"abc", 1, "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
       "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {std::string(1000, 'a'), 1000, "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
      {"0123456701234567012345670123456701234567012345670123456701234567", 10,
       "DEA356A2CDDD90C7A7ECEDC5EBB563934F460452"},
  };
  for (const DigestCase& c : cases) {
    for (std::size_t chunk : {1u, 63u, 64u, 1000u}) {
      if (chunk == 1 && c.repeat > 10) continue;  // a million single-byte calls is slow
      EXPECT_EQ(digest_of(c, chunk), c.digest) << c.text.substr(0, 20) << " chunk " << chunk;
    }
  }
}

TEST(Sha1, HexOfKnownTexts) {
  EXPECT_EQ(sha1_hex(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
  EXPECT_EQ(sha1_hex("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(sha1_hex("open sesame"), "5BCAFF7F22FF533CA099B3408EAD876C0EBBA9A7");
  EXPECT_EQ(sha1_hex("Velmora channel passphrase"), "A289CC33F867B1D42185D82AE05214967BC282D4");
}

TEST(Sha1, HexStopsAtTheFirstZeroByte) {
  EXPECT_EQ(sha1_hex(std::string("abc\0def", 7)), sha1_hex("abc"));
}

TEST(Sha1, StatusCodes) {
  Sha1Context context;
  const std::uint8_t byte = 'x';
  EXPECT_EQ(SHA1Reset(nullptr), sha1_null);
  EXPECT_EQ(SHA1Reset(&context), sha1_success);
  EXPECT_EQ(SHA1Input(&context, nullptr, 0), sha1_success);  // length 0 succeeds first
  EXPECT_EQ(SHA1Input(&context, nullptr, 1), sha1_null);
  std::uint8_t digest[kSha1HashSize];
  EXPECT_EQ(SHA1Result(&context, digest), sha1_success);
  EXPECT_EQ(SHA1Input(&context, &byte, 1), sha1_state_error);
  EXPECT_EQ(SHA1Result(&context, digest), sha1_state_error);
}

TEST(Sha1, BitLengthOverflowCorruptsTheContext) {
  Sha1Context context;
  SHA1Reset(&context);
  context.length_low = 0xFFFFFFF8u;
  context.length_high = 0xFFFFFFFFu;
  const std::uint8_t byte = 'x';
  EXPECT_EQ(SHA1Input(&context, &byte, 1), sha1_null);
  std::uint8_t digest[kSha1HashSize];
  EXPECT_EQ(SHA1Result(&context, digest), sha1_null);
}

}  // namespace
}  // namespace velmora
