#include "irc/inbound_queue.h"

namespace velmora {

bool InboundQueue::take_oldest(std::string& line) {
  {
    std::lock_guard<std::mutex> hold(queue_lock_);
    if (count_.load(std::memory_order_relaxed) == 0) return false;
    line = std::move(lines_[head_]);
    lines_[head_].clear();
    ++head_;
    count_.fetch_sub(1, std::memory_order_release);
  }
  space_.notify_one();
  return true;
}

IrcMessage InboundQueue::pop_message() {
  std::string line;
  if (!take_oldest(line)) return IrcMessage{};
  return parse_line(line);
}

std::string InboundQueue::pop_line() {
  std::string line;
  take_oldest(line);
  return line;
}

bool InboundQueue::wait_for_space() {
  std::unique_lock<std::mutex> hold(queue_lock_);
  space_.wait(hold, [this] { return stopped_ || count_.load() < kCapacity; });
  return !stopped_;
}

void InboundQueue::publish(std::string line) {
  if (line.empty()) return;
  std::lock_guard<std::mutex> hold(queue_lock_);
  // The producer waits for space first; a full ring here would be a caller's mistake,
  // and the oldest line must not be overwritten.
  if (count_.load(std::memory_order_relaxed) >= kCapacity) return;
  lines_[tail_] = std::move(line);
  ++tail_;
  count_.fetch_add(1, std::memory_order_release);
}

void InboundQueue::stop() {
  {
    std::lock_guard<std::mutex> hold(queue_lock_);
    stopped_ = true;
  }
  space_.notify_all();
}

void InboundQueue::clear_stop() {
  std::lock_guard<std::mutex> hold(queue_lock_);
  stopped_ = false;
}

}  // namespace velmora
