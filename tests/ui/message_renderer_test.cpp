// The rendering table, row by row, through one tick of the window each.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/ui/fake_session.h"
#include "tests/ui/recorder_surface.h"
#include "ui/chat_window.h"

namespace velmora {
namespace {

using test_support::Inserted;
using Tags = std::vector<std::string>;

class RenderTest : public ::testing::Test {
protected:
  void SetUp() override { session_.hold_key(); }

  // Queues `item`, runs one tick, returns what it inserted.
  std::vector<Inserted> show(test_support::Queued item) {
    surface_.inserted.clear();
    session_.queue.push_back(std::move(item));
    window_.poll_inbound();
    return surface_.inserted;
  }
  std::string shown_text(test_support::Queued item) {
    show(std::move(item));
    return surface_.view_text();
  }

  test_support::FakeSession session_;
  test_support::RecorderSurface surface_;
  ChatWindow window_{session_, surface_, "/nonexistent"};
};

const Tags kBlue{"blue_fg", "indent", "space"};
const Tags kMember{"indentplus", "space", "blue_fg"};
const Tags kMemberBold{"indentplus", "space", "blue_fg", "bold"};
const Tags kJoinNick{"bold", "indentplus", "space", "blue_fg"};

TEST_F(RenderTest, SingleTextRows) {
  const struct {
    std::string line;
    std::vector<Inserted> shown;
  } cases[] = {
      {":s 001 me :Welcome home", {{"Welcome home\r\n", kBlue}}},
      {":s 003 me :created", {{"created\r\n", kBlue}}},
      {":s 332 me #room :the topic", {{"the topic\r\n", {"green_fg", "indent", "space", "bold"}}}},
      {":a!u@h TOPIC #room :new one", {{"new one\r\n", {"green_fg", "indent", "space", "bold"}}}},
      {":s 372 me :- motd", {{"- motd\r\n", {"monospace", "indent", "gray_fg"}}}},
      {":s 375 me :- start", {{"\r\n", {"monospace", "indent", "gray_fg"}}}},
      {":s 376 me :End", {{"\r\n", {"monospace", "indent", "gray_fg"}}}},
      {":s 433 * me :Nickname in use", {{"Nickname in use\r\n", {"red_fg", "indent", "space"}}}},
      {":s 401 me x :No such nick", {{"No such nick\r\n", {"red_fg", "indent", "space"}}}},
      {"ERROR :Closing link", {{"Closing link\r\n", {"red_fg", "indent", "space", "bold"}}}},
      {":s 328 me #room :http://x",
       {{"Channel URL: ", {"indent", "space"}}, {"http://x\r\n", {"blue_fg", "indent", "space", "bold"}}}},
      {":bob!u@h NOTICE me :psst",
       {{"(bob) ", {"indent", "space"}}, {"psst\r\n", {"bold", "indent", "space"}}}},
      {"NOTICE AUTH :*** Looking up", {{"*** Looking up\r\n", {"bold", "indent", "space"}}}},
      {":s 901 me :logged", {{"(s) ", {"indent", "space"}}, {"logged\r\n", {"bold", "indent", "space"}}}},
      {":s 999 me :odd", {{"odd\r\n", {"lmarg", "italic", "space"}}}},
  };
  for (const auto& c : cases) EXPECT_EQ(show(c.line), c.shown) << c.line;
  EXPECT_TRUE(session_.sent.empty());
}

TEST_F(RenderTest, SilentRowsShowNothing) {
  for (const char* line : {":s 004 me x", ":s 005 me :x", ":s 251 me :x", ":s 333 me #r a 1",
                           ":s 477 me #r :x", ":a!u@h MODE #room +o bob", "x"}) {
    EXPECT_TRUE(show(line).empty()) << line;
  }
}

TEST_F(RenderTest, NonChatLineClosesTheChatBlock) {
  show(":bob!u@h PRIVMSG #room :hi");
  EXPECT_EQ(show(":a!u@h MODE #room +o bob"), (std::vector<Inserted>{{"\r\n", {"lmarg"}}}));
  EXPECT_TRUE(show(":a!u@h MODE #room +o bob").empty());
}

TEST_F(RenderTest, ChatLinesShareOneBlock) {
  EXPECT_EQ(show(":bob!u@h PRIVMSG #room :one").front(), (Inserted{"\r\n", {"lmarg"}}));
  EXPECT_EQ(show({":bob!u@h PRIVMSG #room :two", LinePrivacy::Sealed}).front(),
            test_support::mark(LinePrivacy::Sealed));
}

// The same words from the same nick look different by who could read them; a line
// that came without a privacy is never taken for sealed.
TEST_F(RenderTest, EveryChatLineIsMarkedWithWhoCouldReadIt) {
  const std::string line = ":bob!u@h PRIVMSG #room :the same words";
  const struct {
    LinePrivacy privacy;
    LinePrivacy mark;
  } cases[] = {{LinePrivacy::Sealed, LinePrivacy::Sealed},
               {LinePrivacy::Plain, LinePrivacy::Plain},
               {LinePrivacy::Direct, LinePrivacy::Direct},
               {LinePrivacy::None, LinePrivacy::Plain}};
  for (const auto& c : cases) {
    const auto shown = show({line, c.privacy});
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[shown.size() - 2], (Inserted{"words", {"space", "big"}}));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), test_support::mark(c.mark)), 1);
  }
  EXPECT_EQ(shown_text({":bob!u@h NOTICE #room :psst", LinePrivacy::Plain}), "\r\n[not private] (bob) psst\r\n");
}

// A sealed line that does not open says so in words, who sent it and what to do.
TEST_F(RenderTest, LineUnderAnotherKeyShowsWordsNotHexOrNothing) {
  const std::string text = shown_text({":bob!u@h PRIVMSG #room :", LinePrivacy::OtherKey});
  EXPECT_EQ(text, "\r\n[another key] bob  (sealed under another key: bob holds a different key; if it lasts, "
                  "compare /check with bob)\r\n");
  session_.passphrase.clear();
  EXPECT_NE(shown_text({":bob!u@h PRIVMSG #room :", LinePrivacy::OtherKey}).find("you set no passphrase"),
            std::string::npos);
}

TEST_F(RenderTest, NotesFromTheClientInTheirOwnWords) {
  EXPECT_EQ(show(ViewNote{ViewNote::Kind::Refusal, "Cannot join #room: you are banned from it"}),
            (std::vector<Inserted>{{"Cannot join #room: you are banned from it\r\n",
                                    {"red_fg", "indent", "space", "bold"}}}));
  EXPECT_EQ(show(ViewNote{ViewNote::Kind::NotShown, "3 lines not shown"}),
            (std::vector<Inserted>{{"3 lines not shown\r\n", {"bold", "indent", "space"}}}));
}

TEST_F(RenderTest, KickInviteAndUnknownRepliesInWords) {
  const std::pair<const char*, const char*> cases[] = {
      {":bob!u@h KICK #room me :behave", "bob removed you from #room: behave\r\n"},
      {":bob!u@h KICK #room amy", "bob removed amy from #room\r\n"},
      {":alice!u@h INVITE me :#vinv", "alice invites you to #vinv\r\n"},
      {":s 020 * :Please wait while we process your connection.", "Please wait while we process your connection.\r\n"},
      {":s 042 me ABC123 :your unique ID", "ABC123: your unique ID\r\n"},
      {":s 471 me #other :Cannot join channel (+R) -- Registered users only",
       "#other: Cannot join channel (+R) -- Registered users only\r\n"},
      {":s 999 me a b", "a b\r\n"},
      {":bob!u@h WALLOPS :hello all", "WALLOPS from bob: hello all\r\n"},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(shown_text(line), words) << line;
  EXPECT_TRUE(show(":s PONG s :velmora").empty()) << "our keep-alive's answer";
}

// Membership bookkeeping (names requests, holder marks, the own nick) happens as the
// line arrives, before the window sees it; rendering only shows it.
TEST_F(RenderTest, MembershipLinesAreShownAndSendNothing) {
  EXPECT_EQ(show(":amy!u@h JOIN #room"),
            (std::vector<Inserted>{{"amy", kJoinNick}, {" has joined the channel.\r\n", kMember}}));
  EXPECT_EQ(show(":amy!u@h PART #room :bye"),
            (std::vector<Inserted>{{"amy", kJoinNick}, {" has left the channel.\r\n", kMember}}));
  show(":amy!u@h QUIT :gone");
  EXPECT_TRUE(session_.sent.empty());
}

TEST_F(RenderTest, NickChangesOwnAndOther) {
  const std::vector<Inserted> own{{"Your username is now ", kMember}, {"me2", kMemberBold}, {".\r\n", kMember}};
  EXPECT_EQ(show(":me!u@h NICK :me2"), own);
  session_.nick = "me2";  // as the receive side has it by the time the window shows it
  EXPECT_EQ(show(":me!u@h NICK :me2"), own);
  EXPECT_EQ(show(":amy!u@h NICK amy2"),
            (std::vector<Inserted>{{"amy", kMemberBold},
                                   {" has changed their username to ", kMember},
                                   {"amy2", kMemberBold},
                                   {".\r\n", kMember}}));
  EXPECT_TRUE(session_.sent.empty());
}

// The receive side moves us and retitles the window; the view only says so.
TEST_F(RenderTest, ForwardIsShown) {
  EXPECT_EQ(show(":s 470 me #room #room-overflow :Forwarding"),
            (std::vector<Inserted>{{"You have been forwarded to ", kBlue},
                                   {"#room-overflow\r\n", {"blue_fg", "indent", "space", "bold"}}}));
}

TEST_F(RenderTest, ActionsInEitherCaseSealedOrNot) {
  for (const char* line : {":bob!u@h PRIVMSG #room :\x01" "ACTION waves\x01",
                           ":bob!u@h PRIVMSG #room :\x01" "action waves\x01",
                           ":bob!u@h PRIVMSG #room :\x01" "Action waves"}) {
    const auto shown = show(line);
    ASSERT_FALSE(shown.empty()) << line;
    EXPECT_EQ(shown.back(), (Inserted{"\r\n", {"space", "big"}})) << line;
    const auto& words = shown[shown.size() - 2];
    EXPECT_EQ(words.tags, (Tags{"space", "big", "italic"})) << line;
    EXPECT_EQ(words.text, "waves") << line;
  }
}

TEST_F(RenderTest, ShortActionDoesNotBreak) {
  const auto shown = show(":bob!u@h PRIVMSG #room :\x01" "ACTION ");
  EXPECT_EQ(shown.back(), (Inserted{"\r\n", {"space", "big"}}));
}

TEST_F(RenderTest, MessagesWaitWhileConnecting) {
  session_.connecting_ = true;
  session_.queue.push_back(":s 001 me :hi");
  window_.poll_inbound();
  EXPECT_TRUE(surface_.inserted.empty());
  session_.connecting_ = false;
  window_.poll_inbound();
  window_.poll_inbound();
  EXPECT_EQ(surface_.view_text(), "hi\r\n");
}

// Waiting lines are caught up within the tick's budget, not one per tick.
TEST_F(RenderTest, OneTickRendersTheWaitingLines) {
  session_.queue = {":s 001 me :a", ":s 001 me :b", ":s 001 me :c"};
  window_.poll_inbound();
  EXPECT_EQ(surface_.view_text(), "a\r\nb\r\nc\r\n");
  EXPECT_TRUE(session_.queue.empty());
}

// Lines that take long to render stop the tick once its budget is spent, so the
// window stays responsive while it catches up.
class SlowSession : public test_support::FakeSession {
public:
  ReceivedLine pop_item() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    return FakeSession::pop_item();
  }
};

TEST(RenderBudget, SlowLinesSpreadOverTicks) {
  SlowSession session;
  session.hold_key();
  test_support::RecorderSurface surface;
  ChatWindow window(session, surface, "/nonexistent");
  for (int i = 0; i < 10; ++i) session.queue.push_back(":s 001 me :" + std::to_string(i));
  window.poll_inbound();
  EXPECT_GE(session.queue.size(), 6u);  // at most 3 ms x 4 lines fit 8 ms
  EXPECT_LT(session.queue.size(), 10u);
}

}  // namespace
}  // namespace velmora
