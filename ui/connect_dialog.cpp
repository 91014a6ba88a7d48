#include "ui/connect_dialog.h"

namespace velmora {

bool has_only_allowed(std::string_view text, std::string_view allowed) {
  return text.find_first_not_of(allowed) == std::string_view::npos;
}

bool has_none_of(std::string_view text, std::string_view forbidden) {
  return text.find_first_of(forbidden) == std::string_view::npos;
}

DialogEntries dialog_entries_from(const Settings& settings) {
  const bool own_port = settings.port != kPlainPort && settings.port != kTlsPort;
  const bool use_tls = settings.tls == 1 || (settings.tls == -1 && !own_port);
  const int port = use_tls && settings.port == kPlainPort ? kTlsPort : settings.port;
  return {settings.channel, settings.nick, settings.server, std::to_string(port), settings.key,
          use_tls};
}

std::string port_after_tls_toggle(const std::string& port, bool use_tls) {
  const std::string from = std::to_string(use_tls ? kPlainPort : kTlsPort);
  if (port.empty() || port == from) return std::to_string(use_tls ? kTlsPort : kPlainPort);
  return port;
}

bool tls_for_typed_port(const Settings& settings, const DialogEntries& shown,
                        const std::string& typed_port) {
  if (typed_port == shown.port) return shown.use_tls;
  return settings.tls == 1 || (settings.tls == -1 && settings_integer(typed_port) == kTlsPort);
}

DialogField dialog_initial_focus(const Settings& settings) {
  if (settings.channel.empty()) return DialogField::Channel;
  if (settings.nick.empty()) return DialogField::Nick;
  if (settings.key.empty()) return DialogField::Key;
  if (!valid_port(settings.port)) return DialogField::Port;
  return DialogField::None;
}

namespace {

DialogVerdict check_entries(const Settings& s) {
  if (s.channel.empty()) return {DialogField::Channel, false};
  if (s.nick.empty()) return {DialogField::Nick, false};
  if (s.server.empty()) return {DialogField::Server, false};
  if (!valid_port(s.port)) return {DialogField::Port, s.port != 0};
  if (!has_none_of(s.channel, kChannelForbidden)) return {DialogField::Channel, true};
  if (!has_only_allowed(s.nick, kNickCharacters)) return {DialogField::Nick, true};
  return {};
}

}  // namespace

StartChoice start_choice(const Settings& s) {
  if (s.nick.empty() || s.channel.empty() || s.key.empty() || s.auto_connect != 1) {
    return StartChoice::Dialog;
  }
  return valid_port(s.port) ? StartChoice::Connect : StartChoice::BadPort;
}

DialogVerdict apply_connect_entries(const DialogEntries& entries, Settings& settings) {
  settings.channel = entries.channel;
  settings.nick = entries.nick;
  settings.server = entries.server;
  settings.port = settings_integer(entries.port);
  settings.key = entries.key;
  settings.tls = entries.use_tls ? 1 : 0;
  const DialogVerdict verdict = check_entries(settings);
  if (verdict.accepted() && settings.channel.front() != '#') {
    settings.channel = "#vm" + settings.channel;
  }
  return verdict;
}

}  // namespace velmora
