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

void OutboundQueue::push(SendPriority priority, std::string line) {
  {
    std::lock_guard hold(lock_);
    auto& lines = lines_[static_cast<int>(priority)];
    if (priority == SendPriority::Background && lines.size() >= kMaxBackground) {
      lines.pop_front();
    }
    lines.push_back(std::move(line));
  }
  wake_.notify_one();
}

void OutboundQueue::set_source(Source source) {
  {
    std::lock_guard hold(lock_);
    source_ = std::move(source);
    source_ready_ = true;
  }
  wake_.notify_one();
}

void OutboundQueue::source_ready() {
  {
    std::lock_guard hold(lock_);
    source_ready_ = true;
  }
  wake_.notify_one();
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

bool OutboundQueue::idle() const {
  return !source_ready_ && std::all_of(std::begin(lines_), std::end(lines_),
                                       [](const auto& lines) { return lines.empty(); });
}

// The next line by order; nothing when none is there after all. The source is asked
// outside the lock: it takes its own.
std::optional<std::string> OutboundQueue::take(std::unique_lock<std::mutex>& hold) {
  auto& user = lines_[static_cast<int>(SendPriority::User)];
  auto& background = lines_[static_cast<int>(SendPriority::Background)];
  std::optional<std::string> line;
  if (!user.empty()) {
    line = std::move(user.front());
    user.pop_front();
    return line;
  }
  if (source_ready_ && source_) {
    source_ready_ = false;
    const Source source = source_;
    hold.unlock();
    line = source();
    hold.lock();
    if (line) {
      source_ready_ = true;  // there may be more
      return line;
    }
  }
  if (!background.empty()) {
    line = std::move(background.front());
    background.pop_front();
  }
  return line;
}

void OutboundQueue::run() {
  std::unique_lock hold(lock_);
  while (!stop_) {
    if (idle()) {
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
    std::optional<std::string> line = take(hold);
    if (!line) continue;
    hold.unlock();
    writer_(*line);
    hold.lock();
    tokens_ -= 1;
  }
}

}  // namespace velmora
