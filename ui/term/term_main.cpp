// velmora-term [settings-file]: the chat window on a terminal. Rendered lines go to
// standard output; status, title and control changes to standard error; every line of
// standard input is a press of Return in the input line.
//
// Environment: VELMORA_LINGER=seconds keeps the client running that long after the end
// of input (tests feed a pipe and then watch); VELMORA_TRACE=1 shows the program's
// diagnostic traces on standard error.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/program_paths.h"
#include "ui/app_session.h"
#include "ui/chat_window.h"
#include "ui/connect_dialog.h"
#include "ui/term/line_reader.h"
#include "ui/term/term_dialog.h"
#include "ui/term/term_surface.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Lines still waiting for the input line after the end of input are given this long.
constexpr auto kPendingBound = std::chrono::seconds(30);
// Typed lines that may wait for the channel key; older ones are dropped beyond it.
constexpr std::size_t kMaxWaitingLines = 1000;

int g_signal_pipe[2] = {-1, -1};

extern "C" void on_stop_signal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(g_signal_pipe[1], &byte, 1);
}

bool install_stop_signals() {
  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action{};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}

milliseconds linger_time() {
  const char* text = std::getenv("VELMORA_LINGER");
  if (text == nullptr) return milliseconds(0);
  const double seconds = std::atof(text);
  return milliseconds(seconds > 0 ? static_cast<long long>(seconds * 1000) : 0);
}

// Code points of a UTF-8 text (bytes when it is not UTF-8 are counted all the same).
std::size_t characters(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

std::string cut_to(const std::string& text, std::size_t limit) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == limit) {
      return text.substr(0, i);
    }
  }
  return text;
}

class TermApp {
public:
  TermApp(AppState& app, TermSurface& surface, LineReader& input)
      : app_(app), surface_(surface), input_(input), session_(app),
        window_(session_, surface, app.data_folder() + "/smilies"),
        max_input_(static_cast<std::size_t>(input_max_length(app.settings()))),
        linger_(linger_time()) {}

  // The 20 ms tick runs while something happens; once a tick finds nothing to do the
  // loop sleeps in poll() on the change descriptor, stdin and the signal pipe, and a
  // change wakes it for an immediate tick. While awake, a change between two ticks is
  // shown at once (status, controls, user list) but lines are left to the ticks: the
  // key exchange's "complete" no longer waits up to 20 ms for the next tick.
  void run() {
    window_.on_window_shown();
    auto next_tick = Clock::now();
    bool asleep = false;
    while (!stop_requested_) {
      const bool changed = wait_for_events(asleep ? std::nullopt : std::optional(next_tick));
      if ((asleep && changed) || (!asleep && Clock::now() >= next_tick)) {
        window_.poll_inbound();
        next_tick = Clock::now() + ChatWindow::kTickInterval;
        asleep = window_.idle() && session_.change_fd() >= 0;
      } else if (changed) {
        window_.refresh();
      }
      press_return_for_waiting_lines();
      if (input_.at_end() && input_finished()) break;
    }
    window_.quit_sequence();
  }

private:
  // After the end of input the loop must wake to see input_finished() come true.
  std::optional<Clock::time_point> input_deadline() const {
    if (!input_.at_end()) return std::nullopt;
    const auto lingered = input_ended_ + linger_;
    return Clock::now() < lingered ? lingered : lingered + kPendingBound;
  }

  static int poll_timeout(std::optional<Clock::time_point> until) {
    if (!until) return -1;
    // Rounded up: a poll that wakes a fraction early would otherwise spin until the tick.
    const auto wait = std::chrono::ceil<milliseconds>(*until - Clock::now());
    return wait.count() > 0 ? static_cast<int>(wait.count()) : 0;
  }

  // True when the change descriptor woke the loop.
  bool wait_for_events(std::optional<Clock::time_point> next_tick) {
    std::optional<Clock::time_point> until = input_deadline();
    if (next_tick && (!until || *next_tick < *until)) until = next_tick;
    pollfd fds[3] = {{g_signal_pipe[0], POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    if (!input_.at_end()) fds[1].fd = input_.fd();
    fds[2].fd = session_.change_fd();  // poll() skips a negative descriptor
    if (::poll(fds, 3, poll_timeout(until)) <= 0) return false;
    if (fds[0].revents & POLLIN) stop_requested_ = true;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) read_input();
    return fds[2].revents & POLLIN;
  }

  // Lines go out as they come once the key is held; until then at most
  // kMaxWaitingLines wait, and the oldest make room, with a warning.
  void read_input() {
    input_.read_available();
    std::size_t dropped = 0;
    while (auto line = input_.next_line()) {
      waiting_.push_back(std::move(*line));
      press_return_for_waiting_lines();
      if (waiting_.size() > kMaxWaitingLines) {
        waiting_.pop_front();
        ++dropped;
      }
    }
    if (dropped > 0) {
      surface_.note("input: " + std::to_string(dropped) + " oldest typed " +
                    (dropped == 1 ? "line" : "lines") + " dropped; at most " +
                    std::to_string(kMaxWaitingLines) + " wait for the connection or the channel key");
    }
    if (input_.at_end()) input_ended_ = Clock::now();
  }

  // Typed lines are taken once the input line accepts them (connected): commands at
  // once, chat lines in order once the channel key is held.
  void press_return_for_waiting_lines() {
    while (window_.input_sensitive()) {
      const bool ready = window_.chat_ready();
      const auto next = std::find_if(waiting_.begin(), waiting_.end(), [&](const std::string& l) {
        return ready || (l.starts_with('/') && !l.starts_with("/me ") && l != "/me");
      });
      if (next == waiting_.end()) break;
      std::string line = std::move(*next);
      waiting_.erase(next);
      if (characters(line) > max_input_) {
        line = cut_to(line, max_input_);
        surface_.note("input: line cut to " + std::to_string(max_input_) + " characters");
      }
      window_.on_input_return(line);
    }
  }

  // After the end of input: linger, let waiting lines go out, but never wait for ever.
  bool input_finished() const {
    const auto since = Clock::now() - input_ended_;
    if (since >= linger_ + kPendingBound) return true;
    if (waiting_.empty()) return since >= linger_;
    const bool hopeless = app_.phase() == Phase::idle;
    return hopeless && since >= linger_;
  }

  AppState& app_;
  TermSurface& surface_;
  LineReader& input_;
  AppSession session_;
  ChatWindow window_;
  std::size_t max_input_;
  milliseconds linger_;
  std::deque<std::string> waiting_;
  Clock::time_point input_ended_{};
  bool stop_requested_ = false;
};

}  // namespace

int term_main(int argc, char** argv) {
  const CommandLine command_line = parse_command_line(argc, argv);
  static const std::string marks_help = term_marks_help();
  const ProgramName name{"velmora-term", "Velmora: a private channel on IRC, on a terminal.",
                         marks_help.c_str()};
  if (auto status = answer_command_line(command_line, name, stdout, stderr)) return *status;
  std::FILE* view = stdout;
  AppState app(program_files(command_line.settings_argument));
  LineReader input(STDIN_FILENO);
  Settings settings = app.settings();
  const StartChoice choice = start_choice(settings);
  if (choice == StartChoice::Dialog) {
    if (!run_term_dialog(settings, input, stderr)) return 0;
    app.set_settings(settings);
  } else if (choice == StartChoice::BadPort) {
    // Nobody to ask: connecting would reach another port than the one meant.
    std::fprintf(stderr, "velmora-term: %s\n", port_error(app.settings_path()).c_str());
    return 1;
  }
  if (!install_stop_signals()) return 1;
  TermSurface surface(view, stderr, ::isatty(::fileno(view)) != 0);
  TermApp(app, surface, input).run();
  std::fflush(view);
  return 0;
}

}  // namespace velmora

int main(int argc, char** argv) { return velmora::term_main(argc, argv); }
