#pragma once
// The queue that carries server lines from the receive thread (one producer) to the
// window (one consumer).
//
// The producer never waits for the window. When it stopped reading at 256 waiting
// lines, a PING behind 3000 channel lines was answered after 55 s, past real servers'
// ping time-outs, and key-exchange messages waited as long. Memory is bounded by bytes
// instead: past kMaxBytes the lines meant for the window are dropped and counted, and a
// note line saying how many takes their place once there is room again (log.txt still
// has every one of them).

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "irc/irc_message.h"

namespace velmora {

class InboundQueue {
public:
  static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;

  int queued_count() const { return count_.load(std::memory_order_acquire); }
  // The oldest waiting line, removed; empty when nothing waits.
  IrcMessage pop_message();
  std::string pop_line();

  // Producer side. Publishes a non-empty line; an empty one is dropped.
  void publish(std::string line);
  // The lines of a burst under one lock, in order; empty ones are dropped.
  void publish_all(std::vector<std::string>& lines);
  // Lines dropped at the bound since the last note line.
  std::size_t dropped() const;

  // The note line that stands for `count` dropped lines.
  static std::string dropped_note(std::size_t count);

private:
  // With queue_lock_ held.
  void push(std::string& line);
  bool add_note_if_room();
  static std::size_t cost(const std::string& line) { return line.size() + sizeof(std::string); }

  std::deque<std::string> lines_;
  std::atomic<int> count_{0};
  std::size_t bytes_ = 0;
  std::size_t dropped_ = 0;
  mutable std::mutex queue_lock_;
};

}  // namespace velmora
