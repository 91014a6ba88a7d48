#pragma once
// Tells the window's thread that something it shows may have changed, so an idle
// window can sleep on one descriptor instead of ticking. Any thread may raise it; the
// window drains it before each look at the shared state, so a change made after the
// drain leaves the descriptor readable and cannot be missed.
//
// Raising costs one atomic exchange while the signal is already up; only the first
// raise after a drain writes to the eventfd.

#include <atomic>

namespace velmora {

class ChangeSignal {
public:
  ChangeSignal();   // an eventfd; fd() is -1 when none could be made
  ~ChangeSignal();
  ChangeSignal(const ChangeSignal&) = delete;
  ChangeSignal& operator=(const ChangeSignal&) = delete;

  void raise();
  // Clears the signal; the descriptor is no longer readable until the next raise.
  void drain();
  int fd() const { return fd_; }
  bool raised() const { return raised_.load(std::memory_order_acquire); }

private:
  int fd_;
  std::atomic<bool> raised_{false};
};

}  // namespace velmora
