#pragma once
// The transient status text. Any thread may post one; it is blanked `seconds` after
// the most recent post, by a timer on the program's scheduler; a generation counter
// keeps an older deadline from blanking a newer text. Once `shutting_down` is set,
// posting changes nothing.

#include <atomic>
#include <mutex>
#include <string>

#include "irc/change_signal.h"
#include "irc/scheduler.h"

namespace velmora {

class StatusLine {
public:
  // `changes`, when given, is raised whenever the text is set or blanked.
  StatusLine(const std::atomic<bool>& shutting_down, Scheduler& scheduler,
             ChangeSignal* changes = nullptr);
  ~StatusLine();  // stop()
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  void set_status(const std::string& text, int seconds);
  std::string status_text() const;
  // No more posts or blanking; waits for a blanking in progress.
  void stop();

private:
  void blank_if_current(unsigned long generation);

  const std::atomic<bool>& shutting_down_;
  ChangeSignal* changes_;
  mutable std::mutex lock_;
  std::string text_;
  unsigned long generation_ = 0;
  bool stop_ = false;
  Timer blank_;
};

}  // namespace velmora
