// velmora-term [settings-file]: the chat window on a terminal. Rendered lines go to
// standard output; status, title and control changes to standard error; every line of
// standard input is a press of Return in the input line.
//
// Environment: VELMORA_LINGER=seconds keeps the client running that long after the end
// of input (tests feed a pipe and then watch); VELMORA_TRACE=1 shows the program's
// diagnostic traces on standard error (by default they would mix into the view).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "app/app_state.h"
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
constexpr auto kQuietAfter = std::chrono::seconds(2);
constexpr milliseconds kIdleTick{100};

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

// Rendered lines keep the real standard output; the traces the lower layers write to
// std::cout go to standard error when asked for, else nowhere.
std::FILE* take_view_output() {
  const int view_fd = ::dup(STDOUT_FILENO);
  const bool trace = std::getenv("VELMORA_TRACE") != nullptr;
  const int sink = trace ? ::dup(STDERR_FILENO) : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (sink >= 0) {
    ::dup2(sink, STDOUT_FILENO);
    ::close(sink);
  }
  return ::fdopen(view_fd, "w");
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
        window_(session_, surface, app.program_folder() + "/smilies"),
        max_input_(static_cast<std::size_t>(input_max_length(app.settings()))),
        linger_(linger_time()) {}

  void run() {
    window_.on_window_shown();
    auto next_tick = Clock::now();
    last_active_ = Clock::now();
    while (!stop_requested_) {
      wait_for_events(next_tick);
      if (Clock::now() >= next_tick) {
        tick();
        next_tick = Clock::now() + tick_interval();
      }
      press_return_for_waiting_lines();
      if (input_.at_end() && input_finished()) break;
    }
    window_.quit_sequence();
  }

private:
  void tick() {
    const unsigned long before = window_.activity();
    window_.poll_inbound();
    if (window_.activity() != before) last_active_ = Clock::now();
  }

  // Every wake-up of an idle process costs about as much as the tick itself, so after
  // a quiet while the tick slows down; the first line after the pause waits at most
  // kIdleTick, and anything shown brings back the 20 ms tick.
  milliseconds tick_interval() const {
    const bool quiet = Clock::now() - last_active_ > kQuietAfter;
    return quiet ? kIdleTick : ChatWindow::kTickInterval;
  }

  void wait_for_events(Clock::time_point next_tick) {
    pollfd fds[2] = {{g_signal_pipe[0], POLLIN, 0}, {input_.fd(), POLLIN, 0}};
    const nfds_t count = input_.at_end() ? 1 : 2;
    // Rounded up: a poll that wakes a fraction early would otherwise spin until the tick.
    const auto wait = std::chrono::ceil<milliseconds>(next_tick - Clock::now());
    const int ready = ::poll(fds, count, wait.count() > 0 ? static_cast<int>(wait.count()) : 0);
    if (ready <= 0) return;
    if (fds[0].revents & POLLIN) stop_requested_ = true;
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      input_.read_available();
      while (auto line = input_.next_line()) waiting_.push_back(std::move(*line));
      last_active_ = Clock::now();
      if (input_.at_end()) input_ended_ = Clock::now();
    }
  }

  // Typed lines are taken only once the input line would accept them, in order.
  void press_return_for_waiting_lines() {
    while (!waiting_.empty() && window_.input_sensitive()) {
      std::string line = std::move(waiting_.front());
      waiting_.pop_front();
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
    const bool hopeless = app_.connection.is_closed() && !app_.connection_thread_running();
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
  Clock::time_point last_active_{};
  bool stop_requested_ = false;
};

bool wants_dialog(const Settings& s) {
  return s.nick.empty() || s.channel.empty() || s.key.empty() || s.auto_connect != 1;
}

}  // namespace

int term_main(int argc, char** argv) {
  std::FILE* view = take_view_output();
  if (view == nullptr) return 1;
  const std::string folder = program_folder();
  AppState app(folder, settings_path(argc, argv, folder));
  LineReader input(STDIN_FILENO);
  Settings settings = app.settings();
  if (wants_dialog(settings)) {
    if (!run_term_dialog(settings, input, stderr)) return 0;
    app.set_settings(settings);
  }
  if (!install_stop_signals()) return 1;
  TermSurface surface(view, stderr, ::isatty(::fileno(view)) != 0);
  TermApp(app, surface, input).run();
  std::fflush(view);
  return 0;
}

}  // namespace velmora

int main(int argc, char** argv) { return velmora::term_main(argc, argv); }
