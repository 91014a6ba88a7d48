#include "ui/chat_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/ui/recorder_surface.h"
#include "ui/emoticons.h"

namespace velmora {
namespace {

using test_support::Inserted;
using test_support::RecorderSurface;
namespace fs = std::filesystem;

TEST(SplitWords, KeepsEveryDelimiter) {
  const struct {
    std::string text;
    std::vector<std::string> words;
  } cases[] = {
      {"", {""}},
      {"one", {"one"}},
      {"a b", {"a", "b"}},
      {" ", {"", ""}},
      {"a  b ", {"a", "", "b", ""}},
      {"   ", {"", "", "", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(split_words(c.text, ' '), c.words) << '"' << c.text << '"';
}

TEST(Emoticons, CodesAreWholeCaseSensitiveWords) {
  const struct {
    const char* word;
    const char* file;
  } cases[] = {
      {":)", "face-smile.png"},      {":-)", "face-smile.png"},  {":P", "face-tongue.png"},
      {":p", "face-tongue.png"},     {":D", "face-laugh.png"},   {":DD", "face-lol.png"},
      {":-DD", "face-lol.png"},      {":\")", "face-red.png"},   {">:-D", "face-evil.png"},
      {">:(", "face-angry.png"},     {":~(", "face-cry.png"},    {"B)", "face-cool.png"},
      {"XD", "face-rofl.png"},       {"xd", ""},                 {"great:)", ""},
      {":),", ""},                   {":DDD", ""},               {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(emoticon_file(c.word), c.file) << c.word;
}

class ChatLineTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velmora_smilies_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    for (const char* file : {"face-smile.png", "face-laugh.png", "face-lol.png"}) {
      std::ofstream(dir_ / file) << "png";
    }
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string image(const char* file) const { return (dir_ / file).string(); }

  fs::path dir_;
  RecorderSurface surface_;
};

const std::vector<std::string> kWord{"space", "big"};
const std::vector<std::string> kActionWord{"space", "big", "italic"};

TEST_F(ChatLineTest, WritesNickWordsAndImages) {
  ChatView view(surface_, dir_.string());
  view.render_chat_line("bob", "hi :) there", false, LinePrivacy::Sealed);
  const std::vector<Inserted> expected = {
      {"\r\n", {"lmarg"}},
      test_support::mark(LinePrivacy::Sealed),
      {"bob", {"bold", "space", "lmarg", "big"}},
      {"  ", {"space", "lmarg", "big"}},
      {"hi ", kWord},
      {":)", {image("face-smile.png")}, true},
      {" ", {"space", "big"}},
      {"there", kWord},
      {"\r\n", {"space", "big"}},
  };
  EXPECT_EQ(surface_.inserted, expected);
  EXPECT_TRUE(view.chat_block_open());
}

TEST_F(ChatLineTest, ActionIsItalicButImagesAreNot) {
  ChatView view(surface_, dir_.string());
  view.render_chat_line("bob", "waves :)", true, LinePrivacy::Sealed);
  ASSERT_EQ(surface_.inserted.size(), 7u);
  EXPECT_EQ(surface_.inserted[2].tags, (std::vector<std::string>{"bold", "space", "lmarg", "big", "italic"}));
  EXPECT_EQ(surface_.inserted[4], (Inserted{"waves ", kActionWord}));
  EXPECT_TRUE(surface_.inserted[5].image);
}

TEST_F(ChatLineTest, LaughAndLolAreDifferentFaces) {
  ChatView view(surface_, dir_.string());
  view.render_chat_line("a", ":D :DD", false, LinePrivacy::Sealed);
  EXPECT_EQ(surface_.inserted[4].tags, std::vector<std::string>{image("face-laugh.png")});
  EXPECT_EQ(surface_.inserted[6].tags, std::vector<std::string>{image("face-lol.png")});
}

TEST_F(ChatLineTest, MissingImageShowsTheCode) {
  ChatView view(surface_, dir_.string());
  view.render_chat_line("a", ";) x", false, LinePrivacy::Sealed);  // face-wink.png is not in the folder
  EXPECT_EQ(surface_.inserted[4], (Inserted{";) ", kWord}));
  EXPECT_FALSE(view.insert_smiley(";)"));
  EXPECT_TRUE(view.insert_smiley(":)"));
}

TEST_F(ChatLineTest, SpacesAreKeptExactly) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {
      {"  two  spaces  ", "  two  spaces  "},
      {"   ", "   "},
      {"", ""},
      {"glued:) :),", "glued:) :),"},
  };
  for (const auto& c : cases) {
    surface_.forget();
    ChatView view(surface_, dir_.string());
    view.render_chat_line("n", c.text, false, LinePrivacy::Sealed);
    EXPECT_EQ(surface_.view_text(), std::string("\r\n[private] n  ") + c.shown + "\r\n") << c.text;
  }
}

TEST_F(ChatLineTest, OneBlockForConsecutiveLines) {
  ChatView view(surface_, dir_.string());
  view.render_chat_line("a", "one", false, LinePrivacy::Sealed);
  view.render_chat_line("b", "two", false, LinePrivacy::Sealed);
  EXPECT_EQ(surface_.view_text(), "\r\n[private] a  one\r\n[private] b  two\r\n");
  view.close_chat_block();
  view.close_chat_block();
  EXPECT_EQ(surface_.view_text(), "\r\n[private] a  one\r\n[private] b  two\r\n\r\n");
  EXPECT_FALSE(view.chat_block_open());
}

// Terminal escapes are shown as escapes; IRC formatting codes (bold, colours with their
// numbers, reset, italic, underline...) are taken out.
TEST_F(ChatLineTest, PeerTextIsMadeSafe) {
  ChatView view(surface_, dir_.string());
  view.render_chat_line("e\x1B[31mvil", "caf\xE9 \x1B]0;pwned\x07", false, LinePrivacy::Sealed);
  EXPECT_EQ(surface_.view_text(), "\r\n[private] e\\x1B[31mvil  caf\xC3\xA9 \\x1B]0;pwned\\x07\r\n");
  surface_.forget();
  view.insert_line("\x02" "bold\x02 \x03" "04,12red\x03 \x03" "4,x \x04" "FF8800hex\x0F \x1D" "it\x1F" "u\x16\x1E\x11 "
                   "\x03" "123", {});
  EXPECT_EQ(surface_.view_text(), "bold red ,x hex itu 3\r\n");
}

TEST_F(ChatLineTest, RawTrafficLinesAreEachMadeSafe) {
  ChatView view(surface_, dir_.string());
  view.insert_lines("PING :x\r\nSEND: PONG \x1B\r\n", {"dark_fg"});
  EXPECT_EQ(surface_.inserted, (std::vector<Inserted>{{"PING :x\r\nSEND: PONG \\x1B\r\n", {"dark_fg"}}}));
}

}  // namespace
}  // namespace velmora
