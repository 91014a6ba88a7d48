#pragma once
// The window's view of the program's one AppState.

#include "app/app_state.h"
#include "ui/chat_session.h"

namespace velmora {

class AppSession : public ChatSession {
public:
  explicit AppSession(AppState& app) : app_(app) {}

  SessionView view() const override;

  int queued_count() const override { return app_.connection().queued_count(); }
  ReceivedLine pop_item() override { return app_.connection().queue().pop(); }

  void send_line(const std::string& line) override { app_.connection().send_line(line); }
  void disconnect() override { app_.request_disconnect(); }
  void send_chat_line(std::string_view text) override { app_.send_chat_line(text); }
  void send_action(std::string_view text) override { app_.send_action(text); }
  void set_status(const std::string& text) override { app_.set_status(text, kStatusSeconds); }
  void start_connection() override { app_.start_connection(); }
  bool wait_socket_closed(std::chrono::milliseconds bound) override {
    return app_.connection().wait_closed(bound);
  }

  bool take_user_list_dirty() override { return app_.take_user_list_dirty(); }
  void mark_user_list_dirty() override { app_.mark_user_list_dirty(); }
  void set_offline_shown(bool shown) override { app_.set_offline_shown(shown); }
  void set_shutting_down() override { app_.set_shutting_down(); }
  std::string take_raw_log() override { return app_.take_raw_log(); }
  int change_fd() const override { return app_.change_fd(); }
  void drain_changes() override { app_.drain_changes(); }

private:
  static constexpr int kStatusSeconds = 10;
  AppState& app_;
};

}  // namespace velmora
