#include "ui/term/term_dialog.h"

#include <termios.h>
#include <unistd.h>

#include <array>
#include <string>

#include "ui/connect_dialog.h"
#include "ui/display_text.h"

namespace velmora {
namespace {

struct Field {
  DialogField id;
  const char* label;
  std::string DialogEntries::*entry;
  bool secret;
};

constexpr std::array<Field, 5> kFields = {{
    {DialogField::Channel, "Channel", &DialogEntries::channel, false},
    {DialogField::Nick, "Nick", &DialogEntries::nick, false},
    {DialogField::Server, "Server", &DialogEntries::server, false},
    {DialogField::Port, "Port", &DialogEntries::port, false},
    {DialogField::Key, "Passphrase", &DialogEntries::key, true},
}};

// Keeps a typed passphrase off the screen when the input is a terminal.
class EchoOff {
public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (!::isatty(fd_) || ::tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(fd_, TCSANOW, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) ::tcsetattr(fd_, TCSANOW, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

bool ask(const Field& field, std::string& value, LineReader& input, std::FILE* prompts) {
  const std::string shown = field.secret && !value.empty() ? "(set)" : display_text(value);
  std::fprintf(prompts, "%s [%s]: ", field.label, shown.c_str());
  std::fflush(prompts);
  std::optional<std::string> answer;
  {
    EchoOff quiet(field.secret ? input.fd() : -1);
    answer = input.read_line();
  }
  if (field.secret && ::isatty(input.fd())) std::fputc('\n', prompts);
  if (!answer) return false;
  if (!answer->empty()) value = *answer;
  return true;
}

const Field& field_of(DialogField id) {
  for (const Field& field : kFields) {
    if (field.id == id) return field;
  }
  return kFields.front();
}

}  // namespace

bool run_term_dialog(Settings& settings, LineReader& input, std::FILE* prompts) {
  const Settings before = settings;
  const DialogEntries shown = dialog_entries_from(settings);
  DialogEntries entries = shown;
  for (const Field& field : kFields) {
    if (!ask(field, entries.*field.entry, input, prompts)) return false;
  }
  for (;;) {
    entries.use_tls = tls_for_typed_port(before, shown, entries.port);
    const DialogVerdict verdict = apply_connect_entries(entries, settings);
    if (verdict.accepted()) return true;
    const Field& field = field_of(verdict.focus);
    if (verdict.clear_field) (entries.*field.entry).clear();
    std::fprintf(prompts, "%s refused.\n", field.label);
    if (!ask(field, entries.*field.entry, input, prompts)) return false;
  }
}

}  // namespace velmora
