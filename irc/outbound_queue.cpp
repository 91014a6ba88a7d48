#include "irc/outbound_queue.h"

#include <algorithm>

namespace velmora {

using Clock = std::chrono::steady_clock;

OutboundQueue::OutboundQueue(Writer writer, Scheduler& scheduler, SendPace pace)
    : writer_(std::move(writer)),
      scheduler_(scheduler),
      pace_(pace),
      tokens_(pace.burst),
      refilled_at_(Clock::now()) {}

OutboundQueue::~OutboundQueue() {
  Scheduler::Id due;
  {
    std::lock_guard hold(lock_);
    stopped_ = true;
    due = drain_;
  }
  scheduler_.cancel_and_wait(due);
}

void OutboundQueue::push(SendPriority priority, std::string line) {
  std::lock_guard hold(lock_);
  auto& lines = lines_[static_cast<int>(priority)];
  if ((priority == SendPriority::Background && lines.size() >= kMaxBackground) ||
      (priority == SendPriority::Urgent && lines.size() >= kMaxUrgent)) {
    lines.pop_front();
  }
  lines.push_back(std::move(line));
  drain_soon_locked(priority == SendPriority::Urgent);
}

void OutboundQueue::set_source(Source source) {
  std::lock_guard hold(lock_);
  source_ = std::move(source);
  source_ready_ = true;
  drain_soon_locked(false);
}

void OutboundQueue::source_ready() {
  std::lock_guard hold(lock_);
  source_ready_ = true;
  drain_soon_locked(false);
}

void OutboundQueue::clear() {
  std::lock_guard hold(lock_);
  for (auto& lines : lines_) lines.clear();
}

void OutboundQueue::clear_urgent() {
  std::lock_guard hold(lock_);
  lines_[static_cast<int>(SendPriority::Urgent)].clear();
  written_.notify_all();
}

void OutboundQueue::set_open(bool open) {
  std::lock_guard hold(lock_);
  open_ = open;
  if (open) drain_soon_locked(true);
}

bool OutboundQueue::flush_urgent(std::chrono::milliseconds bound) {
  std::unique_lock hold(lock_);
  return written_.wait_for(hold, bound, [this] {
    return stopped_ || (lines_[static_cast<int>(SendPriority::Urgent)].empty() && !writing_);
  });
}

std::size_t OutboundQueue::waiting() const {
  std::lock_guard hold(lock_);
  std::size_t count = 0;
  for (const auto& lines : lines_) count += lines.size();
  return count;
}

// With lock_ held. One drain is scheduled or running at a time (so the destructor has
// one to wait for); an urgent line brings a drain that waits for the pace forward.
// A drain that is running sees the new line before it ends.
void OutboundQueue::drain_soon_locked(bool urgent) {
  if (stopped_ || !open_ || (first_waiting() < 0 && !source_turn(-1))) return;
  if (drain_ != 0 && (!urgent || !scheduler_.cancel(drain_))) return;
  drain_ = scheduler_.schedule(Clock::now(), [this] { drain(); });
}

int OutboundQueue::first_waiting() const {
  for (int p = 0; p < kPriorities; ++p) {
    if (!lines_[p].empty()) return p;
  }
  return -1;
}

// The source's turn comes after the user's lines, before background ones.
bool OutboundQueue::source_turn(int first) const {
  return source_ready_ && source_ && (first < 0 || first > static_cast<int>(SendPriority::User));
}

void OutboundQueue::refill(Clock::time_point now) {
  const double earned = std::chrono::duration<double>(now - refilled_at_) /
                        std::chrono::duration<double>(pace_.interval);
  tokens_ = std::min<double>(pace_.burst, tokens_ + earned);
  refilled_at_ = now;
}

// On the scheduler's thread: writes what the pace allows, then asks to be called again
// when the next token is earned. The source is asked outside the lock: it takes its own.
void OutboundQueue::drain() {
  std::unique_lock hold(lock_);
  for (;;) {
    const int p = first_waiting();
    const bool from_source = source_turn(p);
    if (stopped_ || !open_ || (p < 0 && !from_source)) {
      drain_ = 0;
      return;
    }
    const bool paced = from_source || p != static_cast<int>(SendPriority::Urgent);
    refill(Clock::now());
    if (paced && tokens_ < 1) {
      drain_ = scheduler_.schedule(refilled_at_ + std::chrono::duration_cast<Clock::duration>(
                                                      pace_.interval * (1 - tokens_)),
                                   [this] { drain(); });
      return;
    }
    std::optional<std::string> line;
    writing_ = true;
    if (from_source) {
      source_ready_ = false;  // asked now; it says again when it has more
      const Source source = source_;
      hold.unlock();
      line = source();
      hold.lock();
      if (line) source_ready_ = true;  // there may be more
    } else {
      line = std::move(lines_[p].front());
      lines_[p].pop_front();
    }
    if (line) {
      hold.unlock();
      writer_(*line);
      hold.lock();
      if (paced) tokens_ -= 1;
    }
    writing_ = false;
    written_.notify_all();
  }
}

}  // namespace velmora
