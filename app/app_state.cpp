#include "app/app_state.h"

#include "app/exchange_hooks.h"

namespace velmora {

AppState::AppState(std::string program_folder, std::string settings_path, AppOptions options)
    : settings_(load_settings(settings_path)),
      program_folder_(std::move(program_folder)),
      settings_path_(std::move(settings_path)),
      options_(options),
      chat_log_(program_folder_ + "/log.txt", &changes_),
      status_(shutting_down, &changes_),
      hooks_(std::make_unique<ExchangeHooks>(*this)),
      connection(chat_log_, hooks_.get(), &changes_) {}

// Every thread goes before any member: the connection thread, then the receive
// thread (through the connection, after a bounded goodbye), then the status worker.
AppState::~AppState() {
  {
    std::lock_guard<std::mutex> hold(start_lock_);
    stop_ = true;
  }
  stop_signal_.notify_all();
  connection.socket().abort_connect();  // a host that does not answer must not hold us
  if (start_thread_.joinable()) start_thread_.join();
  // A face's quit sequence has already said QUIT and waited; saying it again doubled
  // the time a server that keeps the connection open held the exit.
  if (!shutting_down.load() && connection.connected() && !connection.is_closed()) {
    connection.quit("bye");
  }
  connection.shutdown(ServerConnection::kExitDrain);
  status_.stop();
}

Settings AppState::settings() const {
  std::lock_guard<std::mutex> hold(settings_lock_);
  return settings_;
}

void AppState::set_settings(const Settings& settings) {
  std::lock_guard<std::mutex> hold(settings_lock_);
  settings_ = settings;
}

std::string AppState::current_nick() const {
  std::lock_guard<std::mutex> hold(names_lock_);
  return current_nick_;
}

std::string AppState::current_channel() const {
  std::lock_guard<std::mutex> hold(names_lock_);
  return current_channel_;
}

void AppState::set_current_nick(const std::string& nick) {
  std::lock_guard<std::mutex> hold(names_lock_);
  current_nick_ = nick;
}

void AppState::set_current_channel(const std::string& channel) {
  std::lock_guard<std::mutex> hold(names_lock_);
  current_channel_ = channel;
}

std::vector<std::string> AppState::channel_users() const {
  std::lock_guard<std::mutex> hold(names_lock_);
  return channel_users_;
}

void AppState::set_channel_users(std::vector<std::string> users) {
  std::lock_guard<std::mutex> hold(names_lock_);
  channel_users_ = std::move(users);
}

void AppState::set_status(const std::string& text, int seconds) {
  status_.set_status(text, seconds);
}

void AppState::post_title(const std::string& title) {
  {
    std::lock_guard<std::mutex> hold(title_lock_);
    pending_title_ = title;
  }
  note_change();
}

std::optional<std::string> AppState::take_pending_title() {
  std::lock_guard<std::mutex> hold(title_lock_);
  std::optional<std::string> title;
  title.swap(pending_title_);
  return title;
}

void AppState::send_message(const std::string& command, const std::string& target,
                            const std::string& text) {
  connection.send_message(command, target, text);
}

std::vector<std::string> AppState::server_users() const { return connection.users(); }

int AppState::max_users() const { return settings().max_users; }

}  // namespace velmora
