#include "ui/chat_window.h"

#include <thread>

#include "ui/display_text.h"
#include "ui/input_line.h"
#include "ui/privacy_words.h"
#include "ui/state_line.h"
#include "ui/user_list.h"

namespace velmora {

ChatWindow::ChatWindow(ChatSession& session, Surface& surface, std::string smilies_dir)
    : session_(session),
      surface_(surface),
      view_(surface, std::move(smilies_dir)),
      renderer_(view_) {}

void ChatWindow::on_window_shown() {
  state_ = session_.view();
  set_sensitive(Control::ConnectButton, false);
  set_sensitive(Control::DisconnectButton, false);
  refresh_user_list();
  session_.start_connection();
  set_sensitive(Control::InputLine, false);
}

bool ChatWindow::poll_inbound() {
  if (stopped_) return true;
  session_.drain_changes();
  const unsigned long before = activity_;
  state_ = session_.view();
  show_title();
  if (!state_.connecting && session_.queued_count() != 0) render_waiting_messages();
  show_state();
  // While connecting, waiting lines cannot be rendered; the end of connecting raises
  // the signal.
  const bool more = !state_.connecting && session_.queued_count() != 0;
  idle_ = activity_ == before && !more;
  return true;
}

void ChatWindow::refresh() {
  if (stopped_) return;
  session_.drain_changes();
  state_ = session_.view();
  show_title();
  show_state();
}

void ChatWindow::show_state() {
  if (input_sensitive()) set_sensitive(Control::InputLine, true);
  show_connection_state();
  if (session_.take_user_list_dirty()) refresh_user_list();
  if (raw_traffic_visible_) show_raw_traffic();
  show_status();
  show_state_line();
}

bool ChatWindow::input_sensitive() const { return !state_.socket_closed; }

bool ChatWindow::chat_ready() const { return state_.agreement.plain || state_.agreement.holds_key; }

// At least one line, then more while they wait and the budget lasts; one scroll for
// them all.
void ChatWindow::render_waiting_messages() {
  const auto budget_end = std::chrono::steady_clock::now() + kRenderBudget;
  do {
    ++activity_;
    renderer_.render(session_.pop_item(), state_);
  } while (session_.queued_count() != 0 && std::chrono::steady_clock::now() < budget_end);
  view_.scroll_to_end();
}

void ChatWindow::show_title() {
  if (shown_title_ == state_.title) return;
  ++activity_;
  surface_.set_title(display_text(state_.title));
  shown_title_ = state_.title;
}

void ChatWindow::show_connection_state() {
  const bool closed = state_.socket_closed;
  if (closed && !state_.offline_shown) {
    session_.set_offline_shown(true);
    state_.offline_shown = true;
    session_.mark_user_list_dirty();
    set_sensitive(Control::ConnectButton, true);
    set_sensitive(Control::DisconnectButton, false);
    shown_title_.reset();  // a close always retitles the window
    show_title();
  } else if (!closed && state_.offline_shown) {
    session_.set_offline_shown(false);
    state_.offline_shown = false;
    set_sensitive(Control::ConnectButton, false);
    set_sensitive(Control::DisconnectButton, true);
  }
  // While a reconnect is pending, Disconnect stops it.
  if (closed) set_sensitive(Control::DisconnectButton, state_.reconnecting);
}

void ChatWindow::refresh_user_list() {
  std::vector<UserRow> rows = build_user_rows(state_);
  if (shown_rows_ && *shown_rows_ == rows) return;
  ++activity_;
  surface_.set_user_rows(rows);
  shown_rows_ = std::move(rows);
}

void ChatWindow::show_raw_traffic() {
  const std::string traffic = session_.take_raw_log();
  if (traffic.empty()) return;
  ++activity_;
  view_.insert_lines(traffic, {"lmarg", "dark_fg", "space"});
  view_.scroll_to_end();
}

void ChatWindow::show_status() {
  std::string bar(1, ' ');  // (" " + text trips a false -Wrestrict in g++ 12 -O3)
  bar += state_.status;
  std::string text = display_text(bar);
  if (shown_status_ == text) return;
  ++activity_;
  surface_.set_status_bar(text);
  shown_status_ = std::move(text);
}

void ChatWindow::show_state_line() {
  StateLine line = state_line_for(state_);
  line.link = display_text(line.link);  // the account name is the server's
  if (shown_state_line_ == line) return;
  ++activity_;
  surface_.set_state_line(line);
  shown_state_line_ = std::move(line);
}

void ChatWindow::set_sensitive(Control control, bool sensitive) {
  auto& shown = sensitivity_[static_cast<std::size_t>(control)];
  if (shown == sensitive) return;
  ++activity_;
  surface_.set_sensitive(control, sensitive);
  shown = sensitive;
}

void ChatWindow::on_connect_clicked() {
  view_.clear();
  set_sensitive(Control::ConnectButton, false);
  session_.start_connection();
  set_sensitive(Control::InputLine, false);
}

void ChatWindow::on_disconnect_clicked() {
  session_.disconnect();
  set_sensitive(Control::DisconnectButton, false);
}

void ChatWindow::toggle_raw_traffic() {
  raw_traffic_visible_ = !raw_traffic_visible_;
  session_.take_raw_log();  // only traffic from now on is shown
}

void ChatWindow::show_key_check() {
  state_ = session_.view();
  view_.close_chat_block();
  const std::vector<std::string> lines = key_check_lines(state_);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    view_.insert_line(lines[i], i == 0 ? Tags{"bold", "indent", "space"} : Tags{"indent", "space"});
  }
  view_.scroll_to_end();
}

void ChatWindow::on_input_return(std::string_view typed) {
  state_ = session_.view();  // the nick and channel as they are now, not as of the tick
  const InputAction action = interpret_input(typed, state_.channel);
  switch (action.kind) {
    case InputAction::Kind::Nothing:
      break;
    case InputAction::Kind::SendLine:
      session_.send_line(action.line);
      break;
    case InputAction::Kind::Message:
    case InputAction::Kind::Action: {
      if (!chat_ready()) {  // echoed only when it really goes out
        session_.set_status(kChatWithoutKey);
        break;
      }
      const bool is_action = action.kind == InputAction::Kind::Action;
      // What we send is sealed whenever a passphrase is set.
      const LinePrivacy privacy = state_.agreement.plain ? LinePrivacy::Plain : LinePrivacy::Sealed;
      view_.render_chat_line(state_.nick, action.text, is_action, privacy);
      view_.scroll_to_end();
      if (is_action) {
        session_.send_action(action.text);
      } else {
        session_.send_chat_line(action.text);
      }
      break;
    }
    case InputAction::Kind::Warning:
      surface_.show_warning(std::string(kWarningPrimary),
                            display_text(unsupported_command_text(action.command)));
      break;
    case InputAction::Kind::ShowCheck:
      show_key_check();
      break;
  }
}

void ChatWindow::quit_sequence() {
  using namespace std::chrono_literals;
  session_.set_shutting_down();
  stopped_ = true;
  std::this_thread::sleep_for(100ms);
  if (session_.view().socket_closed) return;
  session_.send_line("QUIT");
  std::this_thread::sleep_for(10ms);
  session_.wait_socket_closed(kQuitWait);
}

}  // namespace velmora
