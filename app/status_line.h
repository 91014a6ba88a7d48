#pragma once
// The status text. Any thread may post one; a transient text is blanked `seconds`
// after the most recent post, by a timer on the program's scheduler; a generation
// counter keeps an older deadline from blanking a newer text. Once `shutting_down` is
// set, posting changes nothing.
//
// A lasting text (a refusal the user has to act on) replaces what shows and then stays
// beneath: a later transient text shows over it while it lasts, and blanking brings it
// back. A refused JOIN used to be blanked 20 ms later by the welcome's empty status.

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

  // `seconds` == kLasting posts the lasting text (an empty one removes it).
  static constexpr int kLasting = 0;
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
  std::string lasting_;
  unsigned long generation_ = 0;
  bool stop_ = false;
  Timer blank_;
};

}  // namespace velmora
