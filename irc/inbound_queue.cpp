#include "irc/inbound_queue.h"

namespace velmora {

// Only a pop from a full ring can release the producer, so only that one notifies.
bool InboundQueue::take_oldest(std::string& line) {
  bool was_full;
  {
    std::lock_guard<std::mutex> hold(queue_lock_);
    const int count = count_.load(std::memory_order_relaxed);
    if (count == 0) return false;
    was_full = count == kCapacity;
    line = std::move(lines_[head_]);
    lines_[head_].clear();
    ++head_;
    count_.fetch_sub(1, std::memory_order_release);
  }
  if (was_full) space_.notify_one();
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
  push(line);
}

void InboundQueue::publish_all(std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> hold(queue_lock_);
  for (std::string& line : lines) {
    if (!line.empty()) push(line);
  }
}

void InboundQueue::push(std::string& line) {
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
