#include "tests/gtk/xvfb_display.h"

#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace velmora::test_support {

XvfbDisplay::~XvfbDisplay() { stop(); }

namespace {

// Reads the display number Xvfb writes to the pipe once it accepts clients (10 s bound).
std::string read_display_number(int fd) {
  std::string number;
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, 10000) > 0) {
    char c;
    if (read(fd, &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  return number;
}

}  // namespace

bool XvfbDisplay::start() {
  int fds[2];
  if (pipe(fds) != 0) {
    error_ = "pipe failed";
    return false;
  }
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    // Xvfb reports each display number it finds taken; only the one it gets matters.
    if (FILE* quiet = std::fopen("/dev/null", "w")) dup2(fileno(quiet), 2);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
           "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  const std::string number = pid_ > 0 ? read_display_number(fds[0]) : "";
  close(fds[0]);
  if (number.empty()) {
    error_ = "Xvfb did not start";
    stop();
    return false;
  }
  display_ = ":" + number;
  setenv("DISPLAY", display_.c_str(), 1);
  return true;
}

void XvfbDisplay::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void ensure_gtk_display() {
  static XvfbDisplay* display = nullptr;
  if (display) return;
  display = new XvfbDisplay;
  if (!display->start()) {
    std::fprintf(stderr, "cannot start Xvfb: %s\n", display->error().c_str());
    std::abort();
  }
  // Stopped by PID when the test process ends.
  std::atexit([] { display->stop(); });
  gtk_init(nullptr, nullptr);
}

}  // namespace velmora::test_support
