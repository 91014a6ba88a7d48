#include "ui/input_line.h"

#include <gtest/gtest.h>

#include "tests/ui/fake_session.h"
#include "tests/ui/recorder_surface.h"
#include "ui/chat_window.h"

namespace velmora {
namespace {

using Kind = InputAction::Kind;

TEST(InterpretInput, CommandsBuildTheirWireLines) {
  const struct {
    const char* typed;
    const char* line;
  } cases[] = {
      {"/NICK Bob", "NICK Bob"},
      {"/nick Bob", "nick Bob"},
      {"/TOPIC hello", "topic #room :hello"},
      {"/topic new  topic ", "topic #room :new  topic "},
      {"/topic", "topic #room"},
      {"/msg bob hi there", "privmsg bob :hi there"},
      {"/MSG bob  spaced ", "privmsg bob : spaced "},
      {"/msg", "privmsg :"},
      {"/join", "JOIN #room"},
      {"/JOIN letmein", "JOIN #room letmein"},
      {"/join #other key", "JOIN #other key"},
      {"//MODE #room +m", "MODE #room +m"},
      {"//", ""},
      {"///x", "/x"},
  };
  for (const auto& c : cases) {
    const InputAction action = interpret_input(c.typed, "#room");
    EXPECT_EQ(action.kind, Kind::SendLine) << c.typed;
    EXPECT_EQ(action.line, c.line) << c.typed;
  }
}

TEST(InterpretInput, MeIsAnActionWithItsText) {
  for (const auto& [typed, text] : {std::pair{"/Me  jumps ", " jumps "}, {"/me", ""}}) {
    const InputAction me = interpret_input(typed, "#room");
    EXPECT_EQ(me.kind, Kind::Action) << typed;
    EXPECT_EQ(me.text, text) << typed;
  }
}

TEST(InterpretInput, UnsupportedCommandsWarnWithTheLowerCasedWord) {
  const struct {
    const char* typed;
    const char* word;
  } cases[] = {{"/quit", "quit"}, {"/PART #other", "part"}, {"/ hello", ""}, {"/msgx a b", "msgx"}};
  for (const auto& c : cases) {
    const InputAction action = interpret_input(c.typed, "#room");
    EXPECT_EQ(action.kind, Kind::Warning) << c.typed;
    EXPECT_EQ(action.command, c.word) << c.typed;
  }
  EXPECT_EQ(unsupported_command_text("part"), "The command 'part' is not supported by Velmora.");
}

TEST(InterpretInput, MessagesNothingAndCheck) {
  EXPECT_EQ(interpret_input("", "#room").kind, Kind::Nothing);
  EXPECT_EQ(interpret_input("/", "#room").kind, Kind::Nothing);
  EXPECT_EQ(interpret_input("/CHECK", "#room").kind, Kind::ShowCheck);
  const InputAction message = interpret_input("  hi /there  ", "#room");
  EXPECT_EQ(message.kind, Kind::Message);
  EXPECT_EQ(message.text, "  hi /there  ");
}

class InputWindowTest : public ::testing::Test {
protected:
  test_support::FakeSession session_;
  test_support::RecorderSurface surface_;
  ChatWindow window_{session_, surface_, "/nonexistent"};
};

TEST_F(InputWindowTest, MessageIsEchoedThenSealed) {
  session_.hold_key();
  window_.on_input_return(" hi  there ");
  EXPECT_EQ(surface_.view_text(), "\r\n[private] me   hi  there \r\n");
  EXPECT_EQ(session_.sent, std::vector<std::string>{"PRIVMSG #room :@CRYPTO sealed( hi  there )"});
  EXPECT_GT(surface_.scrolls, 0);
}

TEST_F(InputWindowTest, MessageIsPlainWithoutPassphrase) {
  session_.passphrase.clear();
  window_.on_input_return("hello");
  EXPECT_EQ(session_.sent, std::vector<std::string>{"PRIVMSG #room :hello"});
  EXPECT_EQ(surface_.view_text(), "\r\n[not private] me  hello\r\n");
}

TEST_F(InputWindowTest, CommandsGoOutUnsealedWithoutEcho) {
  window_.on_input_return("/msg bob hi");
  window_.on_input_return("//PRIVMSG #room :raw");
  window_.on_input_return("");
  EXPECT_EQ(session_.sent, (std::vector<std::string>{"privmsg bob :hi", "PRIVMSG #room :raw"}));
  EXPECT_TRUE(surface_.inserted.empty());
}

// Without the key nothing is echoed or sent: the status line says why.
TEST_F(InputWindowTest, ChatWithoutTheKeyIsRefusedInWordsAndCommandsStillGo) {
  session_.closed = false;
  window_.poll_inbound();
  EXPECT_TRUE(window_.input_sensitive()) << "connected: the input is open";
  window_.on_input_return("hello");
  window_.on_input_return("/me waves");
  window_.on_input_return("/nick other");
  EXPECT_EQ(session_.sent, std::vector<std::string>{"nick other"});
  EXPECT_TRUE(surface_.inserted.empty());
  EXPECT_EQ(session_.status, ChatWindow::kChatWithoutKey);
}

TEST_F(InputWindowTest, ActionIsEchoedInItalicsAndSealedWithAPassphrase) {
  session_.hold_key();
  window_.on_input_return("/me waves");
  EXPECT_EQ(session_.sent,
            std::vector<std::string>{"PRIVMSG #room :\x01" "ACTION @CRYPTO sealed(waves)\x01"});
  session_.sent.clear();
  session_.passphrase.clear();
  window_.on_input_return("/me waves");
  EXPECT_EQ(session_.sent, std::vector<std::string>{"privmsg #room :\x01" "action waves\x01"});
  ASSERT_GE(surface_.inserted.size(), 4u);
  EXPECT_EQ(surface_.inserted[2].text, "me");
  EXPECT_EQ(surface_.inserted[4].tags, (std::vector<std::string>{"space", "big", "italic"}));
}

TEST_F(InputWindowTest, UnsupportedCommandShowsTheWarning) {
  window_.on_input_return("/QUIT now");
  EXPECT_TRUE(session_.sent.empty());
  EXPECT_EQ(surface_.warnings, std::vector<std::string>{
                                   "Command not supported|The command 'quit' is not supported by Velmora."});
}

// The check as "@AUTHENTICATED" carries it, in groups of four to read aloud; a member
// that announced another is named. Nothing goes out.
TEST_F(InputWindowTest, CheckShowsOurKeyCheckToCompare) {
  window_.on_input_return("/check");
  EXPECT_EQ(surface_.view_text(), "You hold no key yet: there is no key check to compare.\r\n");
  surface_.forget();
  session_.hold_key();
  session_.set_member("bob", MemberKey::Other, "FEDCBA9876543210");
  window_.on_input_return("/check");
  EXPECT_EQ(surface_.view_text(),
            "Your key check: 0123 4567 89AB CDEF\r\n"
            "Read it to the others: whoever sees the same digits with /check holds your key.\r\n"
            "bob announced FEDC BA98 7654 3210: a different key.\r\n");
  EXPECT_TRUE(session_.sent.empty());
}

TEST_F(InputWindowTest, ChannelFollowsAForward) {
  session_.channel = "#new";
  window_.on_input_return("/topic");
  EXPECT_EQ(session_.sent, std::vector<std::string>{"topic #new"});
}

}  // namespace
}  // namespace velmora
