#pragma once
// Lines to the server wait here for their turn, so that we never send faster than a
// server takes lines without a penalty, and so that what the user types never waits
// behind what the program sends by itself.
//
// Order: the login and PONG (urgent: never paced, never held behind anything), the
// user's lines, then the lines of the source (the key agreement's, which it hands out
// one at a time, most urgent first, when there is room for one), then background lines
// (names requests); first in, first out within each, so a long line's pieces keep
// their order. Nothing is written while the queue is closed (no connection stands):
// lines wait, and the next login goes out before them. Pace (all but urgent lines): a
// burst of kBurst lines, then one line every kInterval. Measured with a dozen PINGs
// sent at once: ngircd (Debian defaults) answers three a second after the first;
// InspIRCd (Debian's connect class: threshold 10) answers ten at once and then one a
// second, holding anything faster back. ircd-hybrid (Debian's users class), sent a
// dozen channel lines at once, relays five at once and then two every two seconds, and
// closes a connection with more than 2560 bytes held back ("Excess Flood"); 120 lines
// of 300 bytes, five at once and then one a second, it relays as they come. One a
// second after a burst of five keeps all three answering our lines as they come, with
// room left for the user's; a faster pace would pile up in hybrid.
//
// A line pulled from the source is decided at its turn, not when it was first due: a
// nick that left, or got the key elsewhere meanwhile, gets nothing, and nothing piles
// up here while a server holds us back.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "irc/scheduler.h"

namespace velmora {

enum class SendPriority { Urgent = 0, User = 1, Background = 2 };

struct SendPace {
  static constexpr int kBurst = 5;
  static constexpr std::chrono::milliseconds kInterval{1000};
  int burst = kBurst;
  std::chrono::milliseconds interval = kInterval;
};

class OutboundQueue {
public:
  using Writer = std::function<void(const std::string& line)>;
  // The next line the source has to send now, if any.
  using Source = std::function<std::optional<std::string>()>;
  // Background lines beyond this many push out the oldest: under a join flood most of
  // the nicks they were for are gone by the time their turn would come.
  static constexpr std::size_t kMaxBackground = 1000;
  // Urgent lines are answers to the server (PONG) and the login: more than this many
  // waiting means no connection takes them, and the oldest are worth nothing.
  static constexpr std::size_t kMaxUrgent = 1000;

  // Lines are written on `scheduler`'s thread.
  OutboundQueue(Writer writer, Scheduler& scheduler, SendPace pace = {});
  ~OutboundQueue();  // waits for a write in progress
  OutboundQueue(const OutboundQueue&) = delete;
  OutboundQueue& operator=(const OutboundQueue&) = delete;

  void push(SendPriority priority, std::string line);
  void set_source(Source source);
  // The source may have a line to send: it is asked at the next turn.
  void source_ready();
  // Lines not yet written are dropped (a new connection starts empty).
  void clear();
  // The urgent lines not yet written are dropped: a PONG owed to a connection that
  // ended means nothing to the next one.
  void clear_urgent();
  // Open (the default): lines are written as their turn comes. Closed: they wait.
  void set_open(bool open);
  // Waits until every urgent line has been written (true), or `bound` passes. Not from
  // the scheduler's thread.
  bool flush_urgent(std::chrono::milliseconds bound);
  std::size_t waiting() const;

private:
  static constexpr int kPriorities = 3;
  void drain();
  void drain_soon_locked(bool urgent);
  int first_waiting() const;
  bool source_turn(int first) const;
  void refill(std::chrono::steady_clock::time_point now);

  Writer writer_;
  Scheduler& scheduler_;
  SendPace pace_;
  mutable std::mutex lock_;
  std::deque<std::string> lines_[kPriorities];
  Source source_;
  bool source_ready_ = false;
  double tokens_;
  std::chrono::steady_clock::time_point refilled_at_;
  std::condition_variable written_;  // a line was written
  bool writing_ = false;             // a line is on its way to the writer
  bool open_ = true;
  bool stopped_ = false;
  Scheduler::Id drain_ = 0;  // the drain scheduled or running; 0 for none
};

}  // namespace velmora
