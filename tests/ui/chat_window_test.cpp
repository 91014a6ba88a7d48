// The window's controls, title, status bar, user list and actions over a connection.
#include "ui/chat_window.h"

#include <gtest/gtest.h>

#include "tests/ui/fake_session.h"
#include "tests/ui/recorder_surface.h"
#include "ui/state_line.h"
#include "ui/user_list.h"

namespace velmora {
namespace {

using Change = std::pair<Control, bool>;
using Changes = std::vector<Change>;
constexpr Control kConnect = Control::ConnectButton;
constexpr Control kDisconnect = Control::DisconnectButton;
constexpr Control kInput = Control::InputLine;

class WindowTest : public ::testing::Test {
protected:
  Changes take_changes() { return std::exchange(surface_.sensitivity, {}); }

  test_support::FakeSession session_;
  test_support::RecorderSurface surface_;
  ChatWindow window_{session_, surface_, "/nonexistent"};
};

TEST_F(WindowTest, ConnectThenKeyThenDrop) {
  window_.on_window_shown();
  EXPECT_EQ(session_.connections_started, 1);
  EXPECT_EQ(take_changes(), (Changes{{kConnect, false}, {kDisconnect, false}, {kInput, false}}));
  EXPECT_EQ(surface_.user_rows, std::vector<std::vector<UserRow>>{{}});

  window_.poll_inbound();  // still connecting, socket closed, offline already shown
  EXPECT_TRUE(take_changes().empty());

  session_.closed = false;  // the socket opens: commands may go out before any key
  window_.poll_inbound();
  EXPECT_EQ(take_changes(), (Changes{{kInput, true}, {kDisconnect, true}}));
  EXPECT_FALSE(window_.chat_ready());

  session_.agreement.holds_key = true;  // the key arrives
  window_.poll_inbound();
  EXPECT_TRUE(window_.chat_ready());
  EXPECT_TRUE(window_.input_sensitive());

  session_.closed = true;  // the server drops us
  window_.poll_inbound();
  EXPECT_EQ(take_changes(), (Changes{{kConnect, true}, {kDisconnect, false}}));
  EXPECT_EQ(surface_.titles, std::vector<std::string>{"Velmora"});
  EXPECT_TRUE(session_.offline);
  EXPECT_FALSE(window_.input_sensitive());
}

TEST_F(WindowTest, FailedConnectionBringsBackTheConnectButton) {
  window_.on_window_shown();
  take_changes();
  session_.offline = false;  // the connection thread gave up; disconnect is already off
  window_.poll_inbound();
  EXPECT_EQ(take_changes(), (Changes{{kConnect, true}}));
  EXPECT_EQ(surface_.titles, std::vector<std::string>{"Velmora"});

  window_.on_connect_clicked();
  EXPECT_EQ(surface_.clears, 1);
  EXPECT_EQ(session_.connections_started, 2);
  EXPECT_EQ(take_changes(), (Changes{{kConnect, false}}));  // input is still off
}

TEST_F(WindowTest, DisconnectSendsQuitAndGreysItself) {
  session_.hold_key();
  window_.poll_inbound();
  take_changes();
  window_.on_disconnect_clicked();
  EXPECT_EQ(session_.sent, std::vector<std::string>{"quit"});
  EXPECT_EQ(take_changes(), (Changes{{kDisconnect, false}}));
  window_.poll_inbound();  // still open: nothing changes until the server closes
  EXPECT_TRUE(take_changes().empty());
}

TEST_F(WindowTest, TitleIsAppliedByTheTickOnce) {
  session_.title = "#room, irc.test - Velmora";
  window_.poll_inbound();
  window_.poll_inbound();
  EXPECT_EQ(surface_.titles, std::vector<std::string>{"#room, irc.test - Velmora"});
}

TEST_F(WindowTest, StatusBarIsTouchedOnlyWhenItChanges) {
  for (int i = 0; i < 5; ++i) window_.poll_inbound();
  session_.status = "Joining channel...";
  for (int i = 0; i < 5; ++i) window_.poll_inbound();
  session_.status.clear();
  window_.poll_inbound();
  EXPECT_EQ(surface_.statuses, (std::vector<std::string>{" ", " Joining channel...", " "}));
}

// The nick and its mark, of each row.
std::vector<std::pair<MemberKey, std::string>> marks(const std::vector<UserRow>& rows) {
  std::vector<std::pair<MemberKey, std::string>> out;
  for (const UserRow& row : rows) out.emplace_back(row.key, row.nick);
  return out;
}

TEST_F(WindowTest, UserListRebuiltWhenDirtyAndChanged) {
  session_.hold_key();
  session_.users = {"me", "", "amy", "bob"};
  session_.set_member("amy", MemberKey::Ours);
  session_.dirty = true;
  window_.poll_inbound();
  ASSERT_EQ(surface_.user_rows.size(), 1u);
  EXPECT_EQ(marks(surface_.user_rows[0]),
            (std::vector<std::pair<MemberKey, std::string>>{
                {MemberKey::Ours, "me"}, {MemberKey::Ours, "amy"}, {MemberKey::Ordinary, "bob"}}));
  EXPECT_FALSE(session_.dirty);

  session_.dirty = true;  // nothing really changed
  window_.poll_inbound();
  EXPECT_EQ(surface_.user_rows.size(), 1u);

  session_.closed = true;  // a drop empties the list
  window_.poll_inbound();
  window_.poll_inbound();
  EXPECT_EQ(surface_.user_rows.back(), std::vector<UserRow>{});
}

// Each member by what it holds, with the reason in words; a member that announced
// another check (or whose line did not open) stands out from those holding ours.
TEST(UserList, MembersByWhatTheyHold) {
  SessionView view;
  view.socket_closed = false;
  view.nick = "me";
  view.users = {"me", "", "amy", "bob", "cy", "dee", "eve", "fay"};
  view.agreement.holds_key = true;
  view.agreement.own_check = "0123456789ABCDEF";
  view.agreement.members = {{"amy", MemberKey::Ours, "0123456789ABCDEF", false},
                            {"bob", MemberKey::Other, "FEDCBA9876543210", false},
                            {"cy", MemberKey::Other, "", true},
                            {"dee", MemberKey::Waiting, "", false},
                            {"eve", MemberKey::Unchecked, "", false}};
  const std::vector<UserRow> rows = build_user_rows(view);
  EXPECT_EQ(marks(rows), (std::vector<std::pair<MemberKey, std::string>>{
                             {MemberKey::Ours, "me"}, {MemberKey::Ours, "amy"}, {MemberKey::Other, "bob"},
                             {MemberKey::Other, "cy"}, {MemberKey::Waiting, "dee"},
                             {MemberKey::Unchecked, "eve"}, {MemberKey::Ordinary, "fay"}}));
  EXPECT_EQ(rows[2].note, "Holds a different key: it announced check FEDC BA98 7654 3210, yours is 0123 4567 89AB CDEF");
  EXPECT_EQ(rows[3].note, "Holds a different key: a line it sealed does not open under yours");
  view.agreement.plain = true;  // without a passphrase nobody holds a key
  for (const UserRow& row : build_user_rows(view)) EXPECT_EQ(row.key, MemberKey::Ordinary) << row.nick;
  view.socket_closed = true;
  EXPECT_TRUE(build_user_rows(view).empty());
}

// The channel's privacy in one phrase, and the link's protection with the account.
TEST(StateLineFor, OnePhraseForTheChannelAndOneForTheLink) {
  using Tone = StateLine::Tone;
  SessionView view;
  EXPECT_EQ(state_line_for(view), (StateLine{"Not connected", Tone::Neutral, ""}));
  view.socket_closed = false;
  view.link = LinkSecurity::TlsVerified;
  view.account = "alice";
  EXPECT_EQ(state_line_for(view),
            (StateLine{"Waiting for the key\u2026", Tone::Neutral, "TLS, certificate verified; logged in as alice"}));
  view.account.clear();
  view.agreement.holds_key = true;
  const struct {
    std::vector<MemberKey> others;
    bool plain;
    StateLine::Tone tone;
    const char* phrase;
  } cases[] = {
      {{}, false, Tone::Good, "Private: you alone hold the key"},
      {{MemberKey::Ours, MemberKey::Ours, MemberKey::Ours, MemberKey::Ordinary, MemberKey::Waiting}, false,
       Tone::Good, "Private: 4 Velmora users share your key"},
      {{MemberKey::Ours, MemberKey::Other}, false, Tone::Warning, "1 member holds another key"},
      {{MemberKey::Other, MemberKey::Other}, false, Tone::Warning, "2 members hold another key"},
      {{MemberKey::Ours}, true, Tone::Warning, "Not private: no passphrase"},
  };
  for (const auto& c : cases) {
    view.agreement.plain = c.plain;
    view.agreement.members = {{"me", MemberKey::Ours, "", false}};
    for (MemberKey key : c.others) view.agreement.members.push_back({"x", key, "", false});
    EXPECT_EQ(state_line_for(view), (StateLine{c.phrase, c.tone, "TLS, certificate verified"})) << c.phrase;
  }
  for (const auto& [link, words] : {std::pair{LinkSecurity::Plain, "No TLS: the link to the server is plain"},
                                    std::pair{LinkSecurity::TlsUnchecked, "TLS, certificate not checked"}}) {
    view.link = link;
    EXPECT_EQ(state_line_for(view).link, words);
  }
}

TEST_F(WindowTest, RawTrafficShowsOnlyWhatFollowsTheToggle) {
  session_.raw_log = "old line\r\n";
  window_.toggle_raw_traffic();
  EXPECT_TRUE(window_.raw_traffic_visible());
  window_.poll_inbound();
  EXPECT_TRUE(surface_.inserted.empty());
  session_.raw_log = "PING :x\r\nSEND: names #room\r\n";
  window_.poll_inbound();
  EXPECT_EQ(surface_.inserted, (std::vector<test_support::Inserted>{
                                   {"PING :x\r\nSEND: names #room\r\n", {"lmarg", "dark_fg", "space"}}}));
  window_.toggle_raw_traffic();
  session_.raw_log = "more\r\n";
  window_.poll_inbound();
  EXPECT_EQ(surface_.inserted.size(), 1u);
}

TEST_F(WindowTest, QuitWhileConnectedSendsQuitAndWaitsBounded) {
  session_.hold_key();
  window_.quit_sequence();
  EXPECT_TRUE(session_.shutting_down);
  EXPECT_EQ(session_.sent, std::vector<std::string>{"QUIT"});
  EXPECT_EQ(session_.close_waits, 1);
  session_.queue.push_back(":s 001 me :late");
  window_.poll_inbound();  // a tick after quitting does nothing
  EXPECT_TRUE(surface_.inserted.empty());
}

TEST_F(WindowTest, QuitWhileDisconnectedSendsNothing) {
  window_.quit_sequence();
  EXPECT_TRUE(session_.sent.empty());
  EXPECT_EQ(session_.close_waits, 0);
}

// A tick is idle when it showed nothing new and left nothing it could show; the faces
// sleep after such a tick, so a wrong "idle" would freeze the window.
TEST_F(WindowTest, IdleOnlyWhenNothingWasShownAndNothingIsLeft) {
  window_.on_window_shown();
  window_.poll_inbound();  // the first status text
  EXPECT_FALSE(window_.idle());
  window_.poll_inbound();
  EXPECT_TRUE(window_.idle());

  session_.queue.push_back(":s 001 me :Welcome");
  window_.poll_inbound();  // still connecting: the line waits, nothing to do meanwhile
  EXPECT_TRUE(window_.idle());

  session_.hold_key();
  session_.queue.push_back(":s 002 me :Your host");
  window_.poll_inbound();  // both lines
  EXPECT_FALSE(window_.idle());
  window_.poll_inbound();
  EXPECT_TRUE(window_.idle());
  EXPECT_EQ(session_.queue.size(), 0u);

  session_.status = "Key exchange complete!";
  window_.poll_inbound();
  EXPECT_FALSE(window_.idle());
  session_.dirty = true;  // a redraw that finds the same rows shows nothing new
  window_.poll_inbound();
  EXPECT_TRUE(window_.idle());
  session_.closed = true;
  window_.poll_inbound();
  EXPECT_FALSE(window_.idle());
}

// Between ticks the state is brought in line at once, but lines are left to the
// ticks: refresh() never renders one.
TEST_F(WindowTest, RefreshShowsStateButRendersNoLine) {
  window_.on_window_shown();
  session_.hold_key();
  window_.poll_inbound();
  session_.queue.push_back(":bob!u@h PRIVMSG #room :waits for the tick");
  session_.status = "Key exchange complete!";
  session_.title = "#room, irc.example - Velmora";
  surface_.inserted.clear();
  window_.refresh();
  EXPECT_EQ(surface_.statuses.back(), " Key exchange complete!");
  EXPECT_EQ(surface_.titles.back(), "#room, irc.example - Velmora");
  EXPECT_TRUE(surface_.inserted.empty());
  EXPECT_EQ(session_.queue.size(), 1u);
  window_.poll_inbound();
  EXPECT_TRUE(session_.queue.empty());
  EXPECT_FALSE(surface_.inserted.empty());
}

// The tick drains the signal before it reads: a change made just after the drain is
// shown by this very tick, or else left raised for the next one.
class ChangeRightAfterDrain : public test_support::FakeSession {
public:
  void drain_changes() override {
    FakeSession::drain_changes();
    if (drains == 3) queue.push_back(":bob!u@h PRIVMSG #room :just in time");
  }
};

TEST(WindowDrain, ChangeMadeJustAfterTheDrainIsShownByTheSameTick) {
  ChangeRightAfterDrain session;
  test_support::RecorderSurface surface;
  ChatWindow window(session, surface, "/nonexistent");
  session.hold_key();
  window.on_window_shown();
  window.poll_inbound();
  window.poll_inbound();
  ASSERT_TRUE(window.idle());
  window.poll_inbound();
  EXPECT_EQ(session.drains, 3);
  EXPECT_FALSE(window.idle());
  EXPECT_TRUE(session.queue.empty());
}

}  // namespace
}  // namespace velmora
