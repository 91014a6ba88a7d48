#include "app/app_state.h"

#include <algorithm>

#include <iostream>

#include "app/exchange_hooks.h"
#include "app/settings_exposure.h"

namespace velmora {

AppState::AppState(ProgramFiles files, AppOptions options)
    : settings_(load_settings(files.settings_file)),
      files_(std::move(files)),
      options_(options),
      chat_log_(files_.log_folder + "/log.txt", &changes_),
      status_(shutting_down_, scheduler_, &changes_),
      hooks_(std::make_unique<ExchangeHooks>(*this)),
      connection_(chat_log_, hooks_.get(), &changes_, &scheduler_) {
  connection_.outbound().set_still_wanted(
      [this](SendPriority priority, const std::string& nick) { return still_wanted(priority, nick); });
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

// The key-exchange rules' lines: a private "@AUTHENTICATED" is a welcome and waits
// behind everything else; the rest of the exchange goes before it.
void AppState::send_message(const std::string& command, const std::string& target,
                            const std::string& text) {
  const bool to_channel = target == current_channel();
  const bool welcome = !to_channel && text.starts_with("@AUTHENTICATED");
  // An answer to a joiner is wanted only until it holds the key; our own request
  // is for a holder and must go out.
  const bool answer = text.starts_with("@XPUBLIC") || text.starts_with("@XKEY");
  connection_.send_message(command, target, text,
                          welcome ? SendPriority::Background : SendPriority::Exchange,
                          welcome || answer ? target : std::string());
}

// A welcome or an answer is still wanted while its nick is in the channel and has not
// announced our key meanwhile (a holder of another key may be asking for ours).
bool AppState::still_wanted(SendPriority priority, const std::string& nick) const {
  const std::vector<std::string> members = connection_.users();
  if (std::find(members.begin(), members.end(), nick) == members.end()) return false;
  if (priority == SendPriority::Background) return peer_keys_.get(nick) != 1;
  return hooks_->answer_wanted(nick);
}

void AppState::send_chat_line(std::string_view text) {
  const std::string channel = current_channel();
  for (const std::string& piece : security_.seal_chat_line(text, channel)) {
    connection_.send_message("PRIVMSG", channel, piece);
  }
}

bool AppState::chat_ready() const {
  return security_.passphrase().empty() || peer_keys_.get(current_nick()) == 1;
}

void AppState::send_action(std::string_view text) {
  const std::string channel = current_channel();
  if (const auto sealed = security_.seal_action(text, channel)) {
    for (const std::string& piece : *sealed) connection_.send_message("PRIVMSG", channel, piece);
    return;
  }
  connection_.send_line("privmsg " + channel + " :\x01" "action " + std::string(text) + "\x01");
}

int AppState::max_users() const { return settings().max_users; }

}  // namespace velmora
