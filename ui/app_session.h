#pragma once
// The window's view of the program's one AppState.

#include "app/app_state.h"
#include "ui/chat_session.h"

namespace velmora {

class AppSession : public ChatSession {
public:
  explicit AppSession(AppState& app) : app_(app) {}

  bool connecting() const override { return app_.connecting.load(); }
  bool socket_closed() const override { return app_.connection.is_closed(); }
  int queued_count() const override { return app_.connection.queued_count(); }
  IrcMessage pop_message() override { return app_.connection.pop_message(); }
  void send_line(const std::string& line) override { app_.connection.send_line(line); }
  void send_message(const std::string& command, const std::string& target,
                    const std::string& text) override {
    app_.connection.send_message(command, target, text);
  }
  void start_connection() override { app_.start_connection(); }
  bool wait_socket_closed(std::chrono::milliseconds bound) override {
    return app_.connection.wait_closed(bound);
  }

  std::string current_nick() const override { return app_.current_nick(); }
  void set_current_nick(const std::string& nick) override { app_.set_current_nick(nick); }
  std::string current_channel() const override { return app_.current_channel(); }
  void set_current_channel(const std::string& channel) override {
    app_.set_current_channel(channel);
  }
  std::string server() const override { return app_.settings().server; }

  PeerKeyTable& peer_keys() override { return app_.peer_keys; }
  std::string open_chat_text(std::string_view text) const override {
    return app_.security.open_chat_text(text);
  }
  std::vector<std::string> seal_chat_line(std::string_view line) const override {
    return app_.security.seal_chat_line(line, app_.current_channel());
  }
  std::optional<std::vector<std::string>> seal_action(std::string_view text) const override {
    return app_.security.seal_action(text, app_.current_channel());
  }

  std::vector<std::string> channel_users() const override { return app_.channel_users(); }
  bool take_user_list_dirty() override { return app_.user_list_dirty.exchange(false); }
  void mark_user_list_dirty() override { app_.user_list_dirty = true; }

  bool offline_shown() const override { return app_.offline_shown.load(); }
  void set_offline_shown(bool shown) override { app_.offline_shown = shown; }
  void set_shutting_down() override { app_.shutting_down = true; }
  std::string status_text() const override { return app_.status_text(); }
  std::string take_raw_log() override { return app_.take_raw_log(); }
  std::optional<std::string> take_pending_title() override { return app_.take_pending_title(); }
  int change_fd() const override { return app_.change_fd(); }
  void drain_changes() override { app_.drain_changes(); }

private:
  AppState& app_;
};

}  // namespace velmora
