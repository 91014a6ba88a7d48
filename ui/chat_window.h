#pragma once
// The main window's rules, toolkit-free: the 20 ms tick that renders server lines and
// brings the controls, title, user list, status bar and state line in line with the
// shared state, the input line, and the toolbar actions. A face (GTK window, terminal)
// owns the timer and the widgets and calls these on its main thread. Each tick reads
// the state once, as a copy (SessionView), and works from that copy.
//
// The surface is touched only when what it shows changes. A tick that finds nothing to
// do leaves the window idle(); the face then stops ticking and waits for the session's
// change descriptor, so an idle connected window does not wake at all.
//
// How ui/ reports failure: it shows it (the status line the app keeps, a warning for a
// refused command, the dialog's focus on the field to correct) and returns nothing to
// the face.

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/chat_session.h"
#include "ui/chat_view.h"
#include "ui/message_renderer.h"
#include "ui/surface.h"

namespace velmora {

class ChatWindow {
public:
  static constexpr std::chrono::milliseconds kTickInterval{20};
  // Work a tick may spend rendering waiting lines: one line per tick let a backlog of
  // 10,000 lines take 200 s to show; this catches up while the window stays responsive.
  static constexpr std::chrono::milliseconds kRenderBudget{8};
  // How long quitting waits for the server to close the connection after "QUIT": with
  // the 110 ms before it and the bounded last drain at exit, the whole quit takes at
  // most about 1.3 s whatever the server does (it took 6 to 9 s).
  static constexpr std::chrono::milliseconds kQuitWait{1000};

  ChatWindow(ChatSession& session, Surface& surface, std::string smilies_dir);

  // The main window is shown: controls off, empty user list, a connection thread.
  // The face then installs its timer calling poll_inbound every kTickInterval.
  void on_window_shown();
  // One tick; always true (the timer stays installed). Drains the session's change
  // signal before it reads anything, so a change made during the tick is not lost.
  bool poll_inbound();
  // Between ticks: brings title, controls, user list, raw traffic and status in line
  // with the shared state at once, without rendering a line (lines are rendered by the
  // ticks). A face calls it when the change signal fires while it is ticking.
  void refresh();
  // The last tick rendered nothing, changed nothing on the surface and left no line it
  // could render: further ticks would do nothing until the change signal is raised.
  bool idle() const { return idle_; }

  void on_connect_clicked();
  void on_disconnect_clicked();
  void toggle_raw_traffic();
  bool raw_traffic_visible() const { return raw_traffic_visible_; }
  // Return pressed in the input line with `typed`; the face empties the entry after.
  void on_input_return(std::string_view typed);
  // True while the socket is open: commands and raw lines always go out then (a user
  // refused by the channel or left without a nick needs /nick and //JOIN); a chat line
  // typed before the channel key is held is refused in words.
  bool input_sensitive() const;
  // A chat line can go out now: no passphrase, or the channel key is held (as of the
  // last tick or refresh).
  bool chat_ready() const;
  // The words for a chat line refused because the channel key is not held yet.
  static constexpr const char* kChatWithoutKey =
      "Not sent: the channel key is not held yet (commands such as /nick and //JOIN still go out)";
  // Our key check in the view, to compare by voice ("/check", and the window's menu).
  void show_key_check();

  // The face has removed its timer and hidden the window. Sends "QUIT" when connected
  // and waits, at most kQuitWait, for the server to close; then the face ends its loop.
  void quit_sequence();

  ChatView& view() { return view_; }

private:
  void render_waiting_messages();
  void show_state();
  void show_title();
  void show_connection_state();
  void refresh_user_list();
  void show_raw_traffic();
  void show_status();
  void show_state_line();
  void set_sensitive(Control control, bool sensitive);

  ChatSession& session_;
  Surface& surface_;
  ChatView view_;
  MessageRenderer renderer_;
  SessionView state_;  // the tick's copy
  std::array<std::optional<bool>, 3> sensitivity_;  // as last set, by Control
  std::optional<std::string> shown_title_{"Velmora"};  // as the layout starts it
  std::optional<std::string> shown_status_;
  std::optional<std::vector<UserRow>> shown_rows_;
  std::optional<StateLine> shown_state_line_;
  bool raw_traffic_visible_ = false;
  bool stopped_ = false;
  unsigned long activity_ = 0;  // grows whenever a tick renders or changes the surface
  bool idle_ = false;
};

}  // namespace velmora
