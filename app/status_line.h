#pragma once
// The status text. Any thread may post one; a transient text is blanked `seconds`
// after the most recent post. One worker thread waits on a condition variable for the
// deadline instead of polling; a generation counter keeps an older deadline from
// blanking a newer text. Once `shutting_down` is set, posting changes nothing.
//
// A lasting text (a refusal the user has to act on) replaces what shows and then stays
// beneath: a later transient text shows over it while it lasts, and blanking brings it
// back. A refused JOIN used to be blanked 20 ms later by the welcome's empty status.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "irc/change_signal.h"

namespace velmora {

class StatusLine {
public:
  // `changes`, when given, is raised whenever the text is set or blanked.
  explicit StatusLine(const std::atomic<bool>& shutting_down, ChangeSignal* changes = nullptr);
  ~StatusLine();  // stops and joins the worker
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  // `seconds` == kLasting posts the lasting text (an empty one removes it).
  static constexpr int kLasting = 0;
  void set_status(const std::string& text, int seconds);
  std::string status_text() const;
  void stop();

private:
  void post_transient(const std::string& text, int seconds);
  void clear_status_later();

  const std::atomic<bool>& shutting_down_;
  ChangeSignal* changes_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::string text_;
  std::string lasting_;
  unsigned long generation_ = 0;
  std::chrono::steady_clock::time_point deadline_{};
  bool armed_ = false;
  bool stop_ = false;
  std::thread worker_;  // started on the first post, so an idle state has no thread
};

}  // namespace velmora
