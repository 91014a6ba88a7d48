#include "app/status_line.h"

namespace velmora {

StatusLine::StatusLine(const std::atomic<bool>& shutting_down, ChangeSignal* changes)
    : shutting_down_(shutting_down), changes_(changes) {}

StatusLine::~StatusLine() { stop(); }

void StatusLine::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
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
      post_transient(text, seconds);
    }
  }
  changed_.notify_all();
  if (changes_) changes_->raise();
}

// With lock_ held.
void StatusLine::post_transient(const std::string& text, int seconds) {
  text_ = text;
  ++generation_;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  armed_ = true;
  if (!worker_.joinable()) worker_ = std::thread([this] { clear_status_later(); });
}

std::string StatusLine::status_text() const {
  std::lock_guard<std::mutex> hold(lock_);
  return text_.empty() ? lasting_ : text_;
}

// Sleeps until the newest text's deadline; a newer post moves the deadline and bumps
// the generation, so only the text that was actually due is blanked.
void StatusLine::clear_status_later() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stop_) {
    if (!armed_) {
      changed_.wait(hold, [this] { return stop_ || armed_; });
      continue;
    }
    unsigned long generation = generation_;
    bool changed = changed_.wait_until(hold, deadline_, [&] {
      return stop_ || generation_ != generation;
    });
    if (changed) continue;
    armed_ = false;
    if (!shutting_down_.load()) {
      text_.clear();
      if (changes_) changes_->raise();
    }
  }
}

}  // namespace velmora
