#pragma once
// The 256-line ring that carries server lines from the receive thread (one producer)
// to the window (one consumer). It never grows: while it is full the producer waits,
// so further lines stay in the socket.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "irc/irc_message.h"

namespace velmora {

class InboundQueue {
public:
  static constexpr int kCapacity = 256;

  int queued_count() const { return count_.load(std::memory_order_acquire); }
  // The oldest waiting line, removed; empty when nothing waits.
  IrcMessage pop_message();
  std::string pop_line();

  // Producer side. Blocks while the ring is full; false when `stop` was called.
  bool wait_for_space();
  // Room for this many more lines; only the producer makes it smaller.
  int space() const { return kCapacity - queued_count(); }
  // Publishes a non-empty line; an empty one is dropped. Call after wait_for_space.
  void publish(std::string line);
  // The lines of a burst under one lock, in order; empty ones are dropped, and so is
  // whatever would not fit (take at most space() lines).
  void publish_all(std::vector<std::string>& lines);
  // Wakes a waiting producer for good (shutdown); clear_stop allows waiting again.
  void stop();
  void clear_stop();

private:
  bool take_oldest(std::string& line);
  void push(std::string& line);  // with queue_lock_ held

  std::array<std::string, kCapacity> lines_;
  std::atomic<int> count_{0};
  unsigned char head_ = 0;  // wraps 255 -> 0, like the ring
  unsigned char tail_ = 0;
  bool stopped_ = false;
  mutable std::mutex queue_lock_;
  std::condition_variable space_;
};

}  // namespace velmora
