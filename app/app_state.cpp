#include "app/app_state.h"

#include <iostream>

#include "app/exchange_hooks.h"
#include "app/settings_exposure.h"
#include "secure/entropy.h"

namespace velmora {

AppState::AppState(ProgramFiles files, AppOptions options)
    : settings_(load_settings(files.settings_file)),
      files_(std::move(files)),
      options_(options),
      chat_log_(files_.log_folder + "/log.txt", &changes_),
      status_(shutting_down_, scheduler_, &changes_),
      hooks_(std::make_unique<ExchangeHooks>(*this, system_entropy())),
      connection_(chat_log_, hooks_.get(), &changes_, &scheduler_) {
  connection_.outbound().set_source([this] { return hooks_->next_line(); });
  connection_.set_link_events(this);
  connection_.set_keepalive({options_.quiet_before_ping, options_.ping_answer_wait});
  const std::string exposed = settings_exposure_warning(files_.settings_file, settings_);
  if (!exposed.empty()) std::cerr << "velmora: warning: " << exposed << "\n";
}

AppState::AppState(const std::string& folder, std::string settings_path, AppOptions options)
    : AppState(ProgramFiles{folder, std::move(settings_path), folder}, options) {}

// Every thread goes before any member: the connector, then the receive thread
// (through the connection, after a bounded goodbye), then the scheduler.
AppState::~AppState() { stop(); }

void AppState::stop() {
  {
    std::lock_guard<std::mutex> hold(life_lock_);
    if (stopped_) return;
    stopped_ = true;
    stop_ = true;
    countdown_timer_.disarm();
    welcome_timer_.disarm();
  }
  attempt_wanted_signal_.notify_all();
  connection_.abort_connect();  // a host that does not answer must not hold us
  if (connector_.joinable()) connector_.join();
  // A face's quit sequence has already said QUIT and waited; saying it again doubled
  // the time a server that keeps the connection open held the exit.
  if (!shutting_down_.load() && connection_.connected() && !connection_.is_closed()) {
    connection_.quit("bye");
  }
  connection_.shutdown(ServerConnection::kExitDrain);
  hooks_->stop();
  status_.stop();
  countdown_timer_.disarm_and_wait();
  welcome_timer_.disarm_and_wait();
  scheduler_.stop();
}

Settings AppState::settings() const {
  std::lock_guard<std::mutex> hold(settings_lock_);
  return settings_;
}

void AppState::set_settings(const Settings& settings) {
  std::lock_guard<std::mutex> hold(settings_lock_);
  settings_ = settings;
}

bool AppState::holds_key() const { return hooks_->holds_key(); }

AgreementSnapshot AppState::agreement_snapshot() const { return hooks_->snapshot(); }

void AppState::set_status(const std::string& text, int seconds) {
  status_.set_status(text, seconds);
}

void AppState::post_refusal(const std::string& text) {
  set_status(text, StatusLine::kLasting);
  show_in_view({ViewNote::Kind::Refusal, text});
}

void AppState::send_chat_line(std::string_view text) {
  const std::string channel = current_channel();
  for (const std::string& piece : security_.seal_chat_line(text, channel)) {
    connection_.send_message("PRIVMSG", channel, piece);
  }
}

bool AppState::chat_ready() const { return security_.passphrase().empty() || holds_key(); }

void AppState::send_action(std::string_view text) {
  const std::string channel = current_channel();
  if (const auto sealed = security_.seal_action(text, channel)) {
    for (const std::string& piece : *sealed) connection_.send_message("PRIVMSG", channel, piece);
    return;
  }
  connection_.send_line("privmsg " + channel + " :\x01" "action " + std::string(text) + "\x01");
}

}  // namespace velmora
