#pragma once
// The window's view of the program's one AppState.

#include "app/app_state.h"
#include "ui/chat_session.h"

namespace velmora {

class AppSession : public ChatSession {
public:
  explicit AppSession(AppState& app) : app_(app) {}

  bool connecting() const override { return app_.connecting(); }
  bool socket_closed() const override { return app_.connection().is_closed(); }
  int queued_count() const override { return app_.connection().queued_count(); }
  IrcMessage pop_message() override { return app_.connection().pop_message(); }
  void send_line(const std::string& line) override { app_.connection().send_line(line); }
  void disconnect() override { app_.request_disconnect(); }
  bool reconnecting() const override { return app_.reconnecting(); }
  void send_chat_line(std::string_view text) override { app_.send_chat_line(text); }
  void send_action(std::string_view text) override { app_.send_action(text); }
  bool chat_ready() const override { return app_.chat_ready(); }
  void set_status(const std::string& text) override { app_.set_status(text, kStatusSeconds); }
  void start_connection() override { app_.start_connection(); }
  bool wait_socket_closed(std::chrono::milliseconds bound) override {
    return app_.connection().wait_closed(bound);
  }

  std::string current_nick() const override { return app_.current_nick(); }
  std::string current_channel() const override { return app_.current_channel(); }

  bool holds_key(const std::string& nick) const override;

  std::vector<std::string> channel_users() const override { return app_.channel_users(); }
  bool take_user_list_dirty() override { return app_.take_user_list_dirty(); }
  void mark_user_list_dirty() override { app_.mark_user_list_dirty(); }

  bool offline_shown() const override { return app_.offline_shown(); }
  void set_offline_shown(bool shown) override { app_.set_offline_shown(shown); }
  void set_shutting_down() override { app_.set_shutting_down(); }
  std::string status_text() const override { return app_.status_text(); }
  std::string take_raw_log() override { return app_.take_raw_log(); }
  // The window's title: the channel while we are in it, else the program's name.
  std::optional<std::string> take_pending_title() override;
  int change_fd() const override { return app_.change_fd(); }
  void drain_changes() override { app_.drain_changes(); }

private:
  static constexpr int kStatusSeconds = 10;
  AppState& app_;
  std::string title_;
};

inline bool AppSession::holds_key(const std::string& nick) const {
  if (nick == app_.current_nick()) return app_.holds_key();
  for (const MemberView& member : app_.agreement_snapshot().members) {
    if (member.nick == nick) return member.key == MemberKey::Ours;
  }
  return false;
}

inline std::optional<std::string> AppSession::take_pending_title() {
  std::string title = "Velmora";
  if (!app_.connection().is_closed() && app_.connection().channel_tracker().in_channel()) {
    title = app_.current_channel() + ", " + app_.settings().server + " - Velmora";
  }
  if (title == title_) return std::nullopt;
  title_ = title;
  return title;
}

}  // namespace velmora
