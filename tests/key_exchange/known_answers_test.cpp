// Fixed-input answers and sizes of what the exchange puts on the wire.

#include <gtest/gtest.h>

#include <string>

#include "secure/chat_line_split.h"
#include "secure/control_text.h"
#include "secure/hex.h"
#include "secure/channel_security.h"
#include "secure/seal.h"
#include "secure/token.h"

namespace velmora {
namespace {

TEST(Token, KnownAnswerOpensOnlyUnderItsPassphrase) {
  const BlowfishCipher key = passphrase_cipher("open sesame");
  const std::string token =
      make_token(key, "ABCDEFGHIJKLMNOPQRSTUVW", 7, hex_decode("0102030405060708"));
  EXPECT_EQ(token, "0102030405060708D3E6927A2102CC8ED03B0031D2CFE7597A0285EF8117B735");
  EXPECT_EQ(open_cbc(key, token), "ABCDEFG@AUTHMNOPQRSTUVW");
  EXPECT_TRUE(token_accepted(key, token));
  EXPECT_FALSE(token_accepted(passphrase_cipher("open sesamE"), token));
  EXPECT_FALSE(token_accepted(passphrase_cipher(""), token));
}

TEST(Token, RandomTokensAre64DigitsWithTheMarkInFirst16Positions) {
  const BlowfishCipher key = passphrase_cipher("pass");
  for (int i = 0; i < 40; ++i) {
    std::string token = make_random_token(key);
    ASSERT_EQ(token.size(), 64u);
    std::string plain = open_cbc(key, token);
    ASSERT_EQ(plain.size(), 23u);
    EXPECT_LT(plain.find("@AUTH"), 16u);
  }
}

TEST(ControlText, FixedPositionFields) {
  const std::string value(309, '7');
  const std::string token(64, 'A');
  const std::string text = "@PUBLIC " + value + " " + token;
  EXPECT_EQ(text.size(), 382u);
  EXPECT_EQ(public_request_value(text), value);
  EXPECT_EQ(public_request_token(text), token);
  // Too short for its fields: empty value, whatever the last characters are.
  EXPECT_EQ(public_request_value("@PUBLIC 12 ABC"), "");
  EXPECT_EQ(public_request_token("@PUBLIC 12 ABC"), "@PUBLIC 12 ABC");
  EXPECT_EQ(text_after("@XKEY", 6), "");
  EXPECT_EQ(text_after("@XKEY ABC", 6), "ABC");
}

TEST(ChatLine, FiveCharactersMakeOneCryptoMessageOf32Digits) {
  ChannelSecurity security;
  security.begin_connection("secret");
  security.set_channel_key(std::string(56, 'c'));
  auto texts = security.seal_chat_line("hello", "#velmora");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].substr(0, 8), "@CRYPTO ");
  EXPECT_EQ(texts[0].size(), 8u + 32u);
  EXPECT_EQ(security.open_chat_text(texts[0]), "hello");
}

TEST(ChatLine, PlainModeAndNoKey) {
  ChannelSecurity plain;
  plain.begin_connection("");
  EXPECT_EQ(plain.channel_key(), " ");
  EXPECT_EQ(plain.seal_chat_line("hi there", "#c"), std::vector<std::string>{"hi there"});
  EXPECT_FALSE(plain.seal_action("waves", "#c").has_value());

  ChannelSecurity keyless;
  keyless.begin_connection("secret");
  EXPECT_TRUE(keyless.seal_chat_line("hi", "#c").empty());
  EXPECT_TRUE(keyless.seal_action("waves", "#c")->empty());
}

// A text that does not open is told apart from one that opens to nothing: the window
// says "another key" for the first.
TEST(ChatLine, OpenLeavesOtherTextAndTellsWhatDoesNotOpen) {
  ChannelSecurity security;
  security.begin_connection("secret");
  security.set_channel_key(std::string(56, 'c'));
  BlowfishCipher other;
  other.set_key(std::string(56, 'd'));
  EXPECT_EQ(security.open_chat_text("just words"), "just words");
  for (const char* bad : {"@CRYPTO", "@CRYPTO ", "@CRYPTO 12", "@CRYPTO 0123456789ABCDEF"}) {
    EXPECT_EQ(security.open_chat_text(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(security.open_chat_text(security.seal_chat_line("", "#c").at(0)), "");
  const std::string elsewhere = "@CRYPTO " + seal_cbc_with_iv(other, "words", "12345678");
  EXPECT_EQ(security.open_chat_text(elsewhere), std::nullopt);
}

std::size_t relayed_size(const std::string& channel, const std::string& text) {
  return kRelayPrefixBudget + std::string(" PRIVMSG ").size() + channel.size() + 2 +
         text.size() + 2;
}

TEST(ChatLine, LongLinesSplitIntoPiecesThatFitAndOpenAlone) {
  ChannelSecurity security;
  security.begin_connection("secret");
  security.set_channel_key(std::string(56, 'c'));
  std::string line;
  for (int i = 0; line.size() < 1500; ++i) line += "word" + std::to_string(i) + " \xC3\xA9t\xC3\xA9 ";
  line += std::string(400, 'x');  // a run without spaces
  // An action's pieces carry the CTCP frame around the sealed text.
  const auto unframe = [](std::string text) {
    if (!text.starts_with("\x01" "ACTION ")) return text;
    EXPECT_EQ(text.back(), '\x01');
    return text.substr(8, text.size() - 9);
  };
  for (const std::string& channel : {std::string("#v"), std::string(50, 'c')}) {
   for (const auto& texts : {security.seal_chat_line(line, channel), *security.seal_action(line, channel)}) {
    ASSERT_GT(texts.size(), 1u);
    std::string joined;
    for (const std::string& text : texts) {
      EXPECT_LE(relayed_size(channel, text), kIrcLineLimit);
      std::string piece = security.open_chat_text(unframe(text)).value_or("");
      // No piece starts inside a UTF-8 sequence.
      ASSERT_FALSE(piece.empty());
      EXPECT_NE(static_cast<unsigned char>(piece[0]) & 0xC0, 0x80);
      joined += piece;
    }
    EXPECT_EQ(joined, line);
   }
  }
}

TEST(ChatLine, SplitCutsAfterSpacesAndKeepsUtf8Whole) {
  EXPECT_EQ(split_chat_line("aaa bbb ccc", 8), (std::vector<std::string>{"aaa bbb ", "ccc"}));
  EXPECT_EQ(split_chat_line("", 8), std::vector<std::string>{""});
  EXPECT_EQ(split_chat_line("abcdefgh", 8), std::vector<std::string>{"abcdefgh"});
  // "\xE2\x82\xAC" is one three-byte character: never cut inside it.
  EXPECT_EQ(split_chat_line("abcdef\xE2\x82\xAC", 7),
            (std::vector<std::string>{"abcdef", "\xE2\x82\xAC"}));
  EXPECT_EQ(split_chat_line("\x80\x80\x80", 2), (std::vector<std::string>{"\x80\x80", "\x80"}));
  EXPECT_EQ(max_sealed_plain_size("#velmora"), 175u);
}

}  // namespace
}  // namespace velmora
