#include "ui/chat_window.h"

#include <thread>

#include "ui/display_text.h"
#include "ui/input_line.h"
#include "ui/user_list.h"

namespace velmora {

ChatWindow::ChatWindow(ChatSession& session, Surface& surface, std::string smilies_dir)
    : session_(session),
      surface_(surface),
      view_(surface, std::move(smilies_dir)),
      renderer_(view_, session) {}

void ChatWindow::on_window_shown() {
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
  show_posted_title();
  if (!session_.connecting() && session_.queued_count() != 0) render_waiting_messages();
  show_state();
  // While connecting, waiting lines cannot be rendered; the end of connecting raises
  // the signal.
  const bool more = !session_.connecting() && session_.queued_count() != 0;
  idle_ = activity_ == before && !more;
  return true;
}

void ChatWindow::refresh() {
  if (stopped_) return;
  session_.drain_changes();
  show_posted_title();
  show_state();
}

void ChatWindow::show_state() {
  if (input_sensitive()) set_sensitive(Control::InputLine, true);
  show_connection_state();
  if (session_.take_user_list_dirty()) refresh_user_list();
  if (raw_traffic_visible_) show_raw_traffic();
  show_status();
}

bool ChatWindow::input_sensitive() const { return !session_.socket_closed(); }

// At least one line, then more while they wait and the budget lasts; one scroll for
// them all.
void ChatWindow::render_waiting_messages() {
  const auto budget_end = std::chrono::steady_clock::now() + kRenderBudget;
  do {
    ++activity_;
    renderer_.render(session_.pop_message());
  } while (session_.queued_count() != 0 && !session_.connecting() &&
           std::chrono::steady_clock::now() < budget_end);
  view_.scroll_to_end();
}

void ChatWindow::show_posted_title() {
  if (auto title = session_.take_pending_title()) {
    ++activity_;
    surface_.set_title(display_text(*title));
  }
}

void ChatWindow::show_connection_state() {
  const bool closed = session_.socket_closed();
  if (closed && !session_.offline_shown()) {
    session_.set_offline_shown(true);
    session_.mark_user_list_dirty();
    set_sensitive(Control::ConnectButton, true);
    set_sensitive(Control::DisconnectButton, false);
    ++activity_;
    surface_.set_title("Velmora");
  } else if (!closed && session_.offline_shown()) {
    session_.set_offline_shown(false);
    set_sensitive(Control::ConnectButton, false);
    set_sensitive(Control::DisconnectButton, true);
  }
  // While a reconnect is pending, Disconnect stops it.
  if (closed) set_sensitive(Control::DisconnectButton, session_.reconnecting());
}

void ChatWindow::refresh_user_list() {
  std::vector<UserRow> rows = build_user_rows(
      session_.channel_users(), [this](const std::string& nick) { return session_.holds_key(nick); },
      session_.socket_closed());
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
  bar += session_.status_text();
  std::string text = display_text(bar);
  if (shown_status_ == text) return;
  ++activity_;
  surface_.set_status_bar(text);
  shown_status_ = std::move(text);
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

void ChatWindow::on_input_return(std::string_view typed) {
  const InputAction action = interpret_input(typed, session_.current_channel());
  switch (action.kind) {
    case InputAction::Kind::Nothing:
      break;
    case InputAction::Kind::SendLine:
      session_.send_line(action.line);
      break;
    case InputAction::Kind::Message:
    case InputAction::Kind::Action: {
      if (!session_.chat_ready()) {  // echoed only when it really goes out
        session_.set_status(kChatWithoutKey);
        break;
      }
      const bool is_action = action.kind == InputAction::Kind::Action;
      view_.render_chat_line(session_.current_nick(), action.text, is_action);
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
  }
}

void ChatWindow::quit_sequence() {
  using namespace std::chrono_literals;
  session_.set_shutting_down();
  stopped_ = true;
  std::this_thread::sleep_for(100ms);
  if (session_.socket_closed()) return;
  session_.send_line("QUIT");
  std::this_thread::sleep_for(10ms);
  session_.wait_socket_closed(kQuitWait);
}

}  // namespace velmora
