#pragma once
// Every timer of the program on one thread: status blanking, send pacing, keep-alive,
// the welcome bound, reconnect back-off and the rejoin after a kick. A thread per timer
// cost a thread each and a polling loop or two; this one sleeps until the earliest due
// time and costs nothing while nothing is due.
//
// Callbacks run on the scheduler's thread, one at a time, without any lock of the
// scheduler held: a callback may schedule or cancel (itself included). A callback must
// not block for long, since every other timer waits behind it.
//
// Cancelling never waits, so it is safe under any lock; an owner whose callback may
// already be running checks its own state in the callback (a generation number), or
// calls cancel_and_wait() from a place that holds none of the locks the callback takes.

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace velmora {

class Scheduler {
public:
  using Clock = std::chrono::steady_clock;
  using Id = std::uint64_t;  // 0 is never handed out

  Scheduler() = default;
  ~Scheduler();  // stop()
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Runs `task` at `when` (at once when it has passed). The thread starts on the first
  // call, so an object that never schedules has no thread. 0 once stopped.
  Id schedule(Clock::time_point when, std::function<void()> task);
  Id schedule_in(Clock::duration delay, std::function<void()> task) {
    return schedule(Clock::now() + delay, std::move(task));
  }
  // Removes a task that has not started; false when it had run, was running or unknown.
  bool cancel(Id id);
  // The same, and when the task is running on another thread, waits for it to end.
  void cancel_and_wait(Id id);
  // Drops every waiting task and joins the thread; later schedules do nothing.
  void stop();
  // True on the scheduler's own thread (inside a callback).
  bool in_callback() const { return std::this_thread::get_id() == thread_id_.load(); }

private:
  void run();

  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable done_;  // a task ended
  std::multimap<Clock::time_point, std::pair<Id, std::function<void()>>> tasks_;
  Id next_id_ = 1;
  Id running_ = 0;
  bool stop_ = false;
  std::thread thread_;
  std::atomic<std::thread::id> thread_id_{};
};

// One timer that is armed again and again: arming replaces what was armed. The owner
// disarms it (with wait) before the things its task touches go away.
class Timer {
public:
  explicit Timer(Scheduler& scheduler) : scheduler_(scheduler) {}
  ~Timer() { disarm_and_wait(); }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void arm(Scheduler::Clock::time_point when, std::function<void()> task);
  void arm_in(Scheduler::Clock::duration delay, std::function<void()> task) {
    arm(Scheduler::Clock::now() + delay, std::move(task));
  }
  void disarm();
  void disarm_and_wait();

private:
  Scheduler& scheduler_;
  std::mutex lock_;
  Scheduler::Id id_ = 0;
};

}  // namespace velmora
