#pragma once
// The queue that carries server lines from the receive thread (one producer) to the
// window (one consumer), each parsed once, on the receive thread, beside its text.
//
// The producer never waits for the window. When it stopped reading at 256 waiting
// lines, a PING behind 3000 channel lines was answered after 55 s, past real servers'
// ping time-outs, and key-exchange messages waited as long. Memory is bounded by bytes
// instead: past kMaxBytes the lines meant for the window are dropped and counted, and a
// note saying how many takes their place once there is room again (log.txt still has
// every one of them).

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "irc/irc_message.h"
#include "irc/view_item.h"

namespace velmora {

// One thing for the window to show: a line as received (without its terminator and
// tags), what it says and who could read it; or a note from the client itself.
struct ReceivedLine {
  ReceivedLine() = default;
  // Parses `raw`; the receive loop, which has parsed it already, gives both.
  explicit ReceivedLine(std::string raw) : message(parse_line(raw)), raw(std::move(raw)) {}
  ReceivedLine(IrcMessage message, std::string raw)
      : message(std::move(message)), raw(std::move(raw)) {}
  explicit ReceivedLine(ViewNote note) : note(std::move(note)) {}

  // Nothing to show: no line and no note.
  bool empty() const { return raw.empty() && !note; }

  IrcMessage message;
  std::string raw;
  LinePrivacy privacy = LinePrivacy::None;
  std::optional<ViewNote> note;  // a note: message and raw stay empty
};

class InboundQueue {
public:
  // A waiting line costs its text twice (as received and parsed) plus the parts'
  // bookkeeping, about 450 bytes for a chat line: room for some 14,000 of them.
  static constexpr std::size_t kMaxBytes = 6 * 1024 * 1024;

  int queued_count() const { return count_.load(std::memory_order_acquire); }
  // The oldest waiting line, removed; empty when nothing waits.
  ReceivedLine pop();
  IrcMessage pop_message() { return pop().message; }
  std::string pop_line() { return pop().raw; }

  // Producer side. Publishes a line or a note; an empty one is dropped.
  void publish(ReceivedLine line);
  // The lines of a burst under one lock, in order; empty ones are dropped.
  void publish_all(std::vector<ReceivedLine>& lines);
  // Lines dropped at the bound since the last note line.
  std::size_t dropped() const;

  // The note that stands for `count` dropped lines.
  static ViewNote dropped_note(std::size_t count);

private:
  // With queue_lock_ held.
  void push(ReceivedLine& line);
  bool add_note_if_room();
  // The memory a waiting line holds, as near as it matters.
  static std::size_t cost(const ReceivedLine& line);

  std::deque<ReceivedLine> lines_;
  std::atomic<int> count_{0};
  std::size_t bytes_ = 0;
  std::size_t dropped_ = 0;
  mutable std::mutex queue_lock_;
};

}  // namespace velmora
