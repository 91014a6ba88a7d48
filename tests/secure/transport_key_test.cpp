#include "secure/transport_key.h"

#include <gtest/gtest.h>

#include <string>

#include "secure/hex.h"

namespace velmora {
namespace {

struct TransportCase {
  const char* secret;
  const char* material_hex;
  const char* key_hex;
};

// Independently computed, all under the passphrase "open sesame".
const TransportCase kTransportCases[] = {
    // six digits: n = 0 (0.5 rounds to even), the key is one sealed padding block
    {"947096", "", "27266DC236CD2A7B"},
    // 18 digits: n = 2 (1.5 rounds to even); the last two groups are empty and give 1
    {"455937341271862280", "75EF5746DC480101", "39F0F090F47FC06F27266DC236CD2A7B"},
    // 161 digits: n = 13
    {"45731104594320737613264460899415846951414908842089128393179037600058931070860568013248"
     "687789120674074197917874767273364408051429734524266093200601702464783432280",
     "75500CF1356022A59CFE29788426176CE449EECA60019750B59BAE227CE0E435BDBDFA2EBFACBBA51584"
     "4C583EA9EE020507A5D5",
     "CD3BD3874815B29ABD846F761DF84EACE8FCC4DBC6F82064B554DC0B3FB0A609014FB83ED0D289FC8979"
     "FA2E4B9B5D0F3A15FD37C322C059"},
    // 162 digits: 13.5 rounds to 14
    {"19869295813282818699725322375001012004264949836641308816015439278989560756973042320911"
     "5141949851254552169785272702907840043160757191500236838278580537236285935167",
     "33B1F522D430FF4139C0031F0BA67F5E6A17292864CAE59B92BB6C361E24F2DA418D2CC946B4E8D70B29"
     "C231803DD64794893D49EF2B0101",
     "172E9775D2C412FFEAD67AF5448D5C2CAF8B069F03C067F77FE56B6F3DE45195F56810C59C3086AF9CF6"
     "7E51A322161854A451E0946196D927266DC236CD2A7B"},
    // a full 309-digit secret: n is capped at 14
    {"12855042603981893186456798472367797749908443531948243847025616987079953769533714199143"
     "80258988662718461454887930155995019446455912112651472736105887819716895391772341191587"
     "15755847020387847619135482644821271799501924246357610930183905388914139317118396168423"
     "354679004098543894772482921876289777055003044945558",
     "218D6D0AD1EEDD91FBB9ADFA80166F527B7078422CDECC89B25624FD7007E5DD46D8257DCB049980F1A5"
     "97364426469C96C8F8B08A2E3C1F",
     "4FFF083BC81BDB1448085540779C858C9B5046313E2D0924CC26957475ECA456D68792FF87A546F8115D"
     "4A17AFBACDC038C05FBE8E183D0127266DC236CD2A7B"},
};

TEST(TransportKey, KnownAnswers) {
  for (const TransportCase& c : kTransportCases) {
    EXPECT_EQ(hex_encode(transport_key_material(c.secret)), c.material_hex) << c.secret;
    BlowfishCipher cipher;
    EXPECT_EQ(hex_encode(derive_transport_key(c.secret, "open sesame", cipher)), c.key_hex);
  }
}

TEST(TransportKey, LeavesTheKeyLoaded) {
  BlowfishCipher cipher;
  cipher.set_key("something else");
  std::string key = derive_transport_key(kTransportCases[4].secret, "open sesame", cipher);
  BlowfishCipher expected;
  expected.set_key(key);
  std::uint32_t a = 3, b = 4, c = 3, d = 4;
  cipher.encrypt_block(a, b);
  expected.encrypt_block(c, d);
  EXPECT_EQ(a, c);
  EXPECT_EQ(b, d);
}

TEST(TransportKey, GroupBoundsAndRounding) {
  // 000 gives byte 1 and 999 gives byte 255.
  std::string secret = "000999" + std::string(300, '5');
  std::string material = transport_key_material(secret);
  ASSERT_EQ(material.size(), 56u);
  EXPECT_EQ(static_cast<unsigned char>(material[0]), 1);
  EXPECT_EQ(static_cast<unsigned char>(material[1]), 255);
  // A group running past the end uses the characters that remain: "99" reads as 99.
  EXPECT_EQ(hex_encode(transport_key_material(std::string(18, '0') + "99")),
            "0101010101011A01");  // 20 digits: n = 2, 99 * 255 / 1000 + 1 = 26
  EXPECT_EQ(transport_key_material(std::string(30, '1')).size(), 8u);   // 2.5 -> 2
  EXPECT_EQ(transport_key_material(std::string(31, '1')).size(), 12u);  // 2.58 -> 3
  EXPECT_EQ(transport_key_material(std::string(42, '1')).size(), 16u);  // 3.5 -> 4
  EXPECT_EQ(transport_key_material(std::string(161, '1')).size(), 52u);
  EXPECT_EQ(transport_key_material(std::string(162, '1')).size(), 56u);
}

TEST(TransportKey, DifferentPassphrasesGiveDifferentKeys) {
  BlowfishCipher cipher;
  std::string a = derive_transport_key(kTransportCases[4].secret, "open sesame", cipher);
  std::string b = derive_transport_key(kTransportCases[4].secret, "open sesamE", cipher);
  EXPECT_EQ(a.size(), 64u);
  EXPECT_NE(a, b);
}

TEST(TransportKey, EmptySecretGivesThePaddingBlock) {
  BlowfishCipher cipher;
  EXPECT_EQ(hex_encode(derive_transport_key("", "open sesame", cipher)), "27266DC236CD2A7B");
}

}  // namespace
}  // namespace velmora
