#include "secure/blowfish.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "secure/hex.h"
#include "secure/seal.h"

namespace velmora {
namespace {

struct BlockVector {
  const char* key_hex;
  const char* plain_hex;
  const char* cipher_hex;
};

void PrintTo(const BlockVector& v, std::ostream* out) {
  *out << "key " << v.key_hex << " plain " << v.plain_hex;
}

std::string encrypt_hex(std::string_view key_hex, std::string_view plain_hex) {
  BlowfishCipher cipher;
  cipher.set_key(hex_decode(key_hex));
  return encrypt_block_hex(cipher, hex_decode(plain_hex));
}

// Schneier's published variable-key vectors: 8-byte keys, where the schedule is the
// standard one.
constexpr BlockVector kPublishedVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// Independently computed answers for this schedule's own cases: the empty key, keys
// that are not whole words, and keys over 56 bytes.
constexpr BlockVector kScheduleVectors[] = {
    {"", "0000000000000000", "4EF997456198DD78"},
    {"", "0123456789ABCDEF", "19F40A0D847F51C3"},
    {"41", "0000000000000000", "70C9207AA2A1560B"},
    {"41", "0123456789ABCDEF", "C400C3ACB8E337FE"},
    {"4142434445", "0000000000000000", "F764F618AE82220E"},
    {"4142434445", "0123456789ABCDEF", "71898A1552943010"},
    {"414243444546", "0000000000000000", "824223935BAE8250"},
    {"414243444546", "0123456789ABCDEF", "CBF4052BC6D3388C"},
    {"0001020304050607", "0000000000000000", "C01FAE768686E7B7"},
    {"0001020304050607", "0123456789ABCDEF", "E14294CE1E5F3D0A"},
    {"31323334353637383930", "0000000000000000", "CEB252FA75EA5128"},
    {"31323334353637383930", "0123456789ABCDEF", "A661174A65109F57"},
    {"00070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9E0E7EEF5FC030A11181F"
     "262D343B424950575E656C737A81",
     "0000000000000000", "9B9322E5D39B30E4"},
    {"00070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9E0E7EEF5FC030A11181F"
     "262D343B424950575E656C737A81",
     "0123456789ABCDEF", "A52A96A52A957B48"},
    {"00070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9E0E7EEF5FC030A11181F"
     "262D343B424950575E656C737A81888F969D",
     "0000000000000000", "9B9322E5D39B30E4"},
    {"00070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9E0E7EEF5FC030A11181F"
     "262D343B424950575E656C737A81888F969D",
     "0123456789ABCDEF", "A52A96A52A957B48"},
};

class BlowfishVectors : public testing::TestWithParam<BlockVector> {};

TEST_P(BlowfishVectors, EncryptsAndDecryptsTheBlock) {
  const BlockVector& v = GetParam();
  EXPECT_EQ(encrypt_hex(v.key_hex, v.plain_hex), v.cipher_hex) << "key " << v.key_hex;
  BlowfishCipher cipher;
  cipher.set_key(hex_decode(v.key_hex));
  EXPECT_EQ(hex_encode(decrypt_block_hex(cipher, v.cipher_hex)), v.plain_hex);
}

INSTANTIATE_TEST_SUITE_P(Published, BlowfishVectors, testing::ValuesIn(kPublishedVectors));
INSTANTIATE_TEST_SUITE_P(OwnSchedule, BlowfishVectors, testing::ValuesIn(kScheduleVectors));

TEST(BlowfishSchedule, PartialWordIsPaddedWithZeroBytes) {
  for (std::string plain : {"0000000000000000", "0123456789ABCDEF", "FFFFFFFFFFFFFFFF"}) {
    EXPECT_EQ(encrypt_hex("414243444546", plain), encrypt_hex("4142434445460000", plain));
    EXPECT_EQ(encrypt_hex("4142434445", plain), encrypt_hex("4142434445000000", plain));
  }
}

TEST(BlowfishSchedule, KeysOverFiftySixBytesAreCut) {
  std::string key(56, 'k');
  BlowfishCipher cut;
  cut.set_key(key);
  BlowfishCipher longer;
  longer.set_key(key + std::string(20, 'z'));
  std::uint32_t a = 1, b = 2, c = 1, d = 2;
  cut.encrypt_block(a, b);
  longer.encrypt_block(c, d);
  EXPECT_EQ(a, c);
  EXPECT_EQ(b, d);
}

TEST(BlowfishSchedule, NewKeyDoesNotDependOnThePreviousOne) {
  BlowfishCipher reused;
  reused.set_key("first key");
  reused.set_key("second");
  BlowfishCipher fresh;
  fresh.set_key("second");
  std::uint32_t a = 7, b = 9, c = 7, d = 9;
  reused.encrypt_block(a, b);
  fresh.encrypt_block(c, d);
  EXPECT_EQ(a, c);
  EXPECT_EQ(b, d);
}

TEST(BlowfishSchedule, ZeroBlockRoundTripsUnderAnyKey) {
  for (std::string key : {std::string(), std::string(" "), std::string("\0\0\x01", 3),
                          std::string(100, '\xFF')}) {
    BlowfishCipher cipher;
    cipher.set_key(key);
    std::uint32_t left = 0, right = 0;
    cipher.encrypt_block(left, right);
    cipher.decrypt_block(left, right);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(right, 0u);
  }
}

}  // namespace
}  // namespace velmora
