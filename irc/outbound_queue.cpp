#include "irc/outbound_queue.h"

#include <algorithm>

namespace velmora {

using Clock = std::chrono::steady_clock;

OutboundQueue::OutboundQueue(Writer writer, SendPace pace)
    : writer_(std::move(writer)),
      pace_(pace),
      tokens_(pace.burst),
      refilled_at_(Clock::now()),
      thread_([this] { run(); }) {}

OutboundQueue::~OutboundQueue() {
  {
    std::lock_guard hold(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void OutboundQueue::push(SendPriority priority, std::string line, std::string nick) {
  {
    std::lock_guard hold(lock_);
    auto& lines = lines_[static_cast<int>(priority)];
    if (priority == SendPriority::Background && lines.size() >= kMaxBackground) {
      lines.pop_front();
    }
    lines.push_back({std::move(line), std::move(nick)});
  }
  wake_.notify_one();
}

void OutboundQueue::set_still_wanted(StillWanted check) {
  std::lock_guard hold(lock_);
  still_wanted_ = std::move(check);
}

void OutboundQueue::clear() {
  std::lock_guard hold(lock_);
  for (auto& lines : lines_) lines.clear();
}

std::size_t OutboundQueue::waiting() const {
  std::lock_guard hold(lock_);
  std::size_t count = 0;
  for (const auto& lines : lines_) count += lines.size();
  return count;
}

void OutboundQueue::refill(Clock::time_point now) {
  const double earned = std::chrono::duration<double>(now - refilled_at_) /
                        std::chrono::duration<double>(pace_.interval);
  tokens_ = std::min<double>(pace_.burst, tokens_ + earned);
  refilled_at_ = now;
}

// The first line by priority; false when none waits.
bool OutboundQueue::take(SendPriority& priority, Line& line) {
  for (int p = 0; p < 3; ++p) {
    if (lines_[p].empty()) continue;
    priority = static_cast<SendPriority>(p);
    line = std::move(lines_[p].front());
    lines_[p].pop_front();
    return true;
  }
  return false;
}

void OutboundQueue::run() {
  std::unique_lock hold(lock_);
  while (!stop_) {
    const bool empty = std::all_of(std::begin(lines_), std::end(lines_),
                                   [](const auto& lines) { return lines.empty(); });
    if (empty) {
      wake_.wait(hold);
      continue;
    }
    refill(Clock::now());
    if (tokens_ < 1) {
      const auto next = refilled_at_ + std::chrono::duration_cast<Clock::duration>(
                                           pace_.interval * (1 - tokens_));
      wake_.wait_until(hold, next);
      continue;
    }
    SendPriority priority{};
    Line line;
    take(priority, line);
    const StillWanted check = still_wanted_;
    hold.unlock();
    // Asked outside the lock: the answer reads the member list and the holder marks.
    const bool wanted = line.nick.empty() || !check || check(priority, line.nick);
    if (wanted) writer_(line.text);
    hold.lock();
    if (wanted) tokens_ -= 1;
  }
}

}  // namespace velmora
