#pragma once
// A private X server for one test process: Xvfb picks a free display number itself
// (-displayfd), so parallel test runs never collide. Stopped by its PID.

#include <sys/types.h>

#include <string>

namespace velmora::test_support {

class XvfbDisplay {
public:
  XvfbDisplay() = default;
  ~XvfbDisplay();
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  // Starts Xvfb and sets DISPLAY; false (with `error()`) when it cannot.
  bool start();
  void stop();
  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

// Starts one display for the whole test binary and initialises GTK on it (once).
// Aborts the process with a message when no display can be had.
void ensure_gtk_display();

}  // namespace velmora::test_support
