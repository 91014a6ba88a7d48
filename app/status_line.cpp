#include "app/status_line.h"

namespace velmora {

StatusLine::StatusLine(const std::atomic<bool>& shutting_down, Scheduler& scheduler,
                       ChangeSignal* changes)
    : shutting_down_(shutting_down), changes_(changes), blank_(scheduler) {}

StatusLine::~StatusLine() { stop(); }

void StatusLine::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  blank_.disarm_and_wait();
}

void StatusLine::set_status(const std::string& text, int seconds) {
  if (shutting_down_.load()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stop_) return;
    if (seconds == kLasting) {
      lasting_ = text;
      if (!text.empty()) text_.clear();  // the newer text shows
    } else {
      text_ = text;
      const unsigned long generation = ++generation_;
      blank_.arm_in(std::chrono::seconds(seconds), [this, generation] { blank_if_current(generation); });
    }
  }
  if (changes_) changes_->raise();
}

std::string StatusLine::status_text() const {
  std::lock_guard<std::mutex> hold(lock_);
  return text_.empty() ? lasting_ : text_;
}

// A newer post bumped the generation: only the text that was actually due is blanked.
void StatusLine::blank_if_current(unsigned long generation) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stop_ || generation != generation_ || shutting_down_.load()) return;
    text_.clear();
  }
  if (changes_) changes_->raise();
}

}  // namespace velmora
