// The window's controls, title, status bar, user list and actions over a connection.
#include "ui/chat_window.h"

#include <gtest/gtest.h>

#include "tests/ui/fake_session.h"
#include "tests/ui/recorder_surface.h"
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

TEST_F(WindowTest, PostedTitleIsAppliedByTheTick) {
  session_.pending_title = "#room, irc.test - Velmora";
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

TEST_F(WindowTest, UserListRebuiltWhenDirtyAndChanged) {
  session_.hold_key();
  session_.users = {"me", "", "amy", "bob"};
  session_.peers.set("amy", 1);
  session_.dirty = true;
  window_.poll_inbound();
  const std::vector<UserRow> rows{{true, "me"}, {true, "amy"}, {false, "bob"}};
  EXPECT_EQ(surface_.user_rows, std::vector<std::vector<UserRow>>{rows});
  EXPECT_FALSE(session_.dirty);

  session_.dirty = true;  // nothing really changed
  window_.poll_inbound();
  EXPECT_EQ(surface_.user_rows.size(), 1u);

  session_.closed = true;  // a drop empties the list
  window_.poll_inbound();
  window_.poll_inbound();
  EXPECT_EQ(surface_.user_rows.back(), std::vector<UserRow>{});
}

TEST(UserList, RowsSkipEmptyNicksAndVanishWhenClosed) {
  const auto holds_key = [](const std::string& nick) { return nick == "amy"; };
  const std::vector<std::string> users{"amy", "", "bob", "carl"};
  EXPECT_EQ(build_user_rows(users, holds_key, false),
            (std::vector<UserRow>{{true, "amy"}, {false, "bob"}, {false, "carl"}}));
  EXPECT_TRUE(build_user_rows(users, holds_key, true).empty());
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
  session_.pending_title = "#room, irc.example - Velmora";
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
