#include "irc/scheduler.h"

namespace velmora {

Scheduler::~Scheduler() { stop(); }

Scheduler::Id Scheduler::schedule(Clock::time_point when, std::function<void()> task) {
  Id id;
  {
    std::lock_guard hold(lock_);
    if (stop_) return 0;
    id = next_id_++;
    tasks_.emplace(when, std::make_pair(id, std::move(task)));
    if (!thread_.joinable()) {
      thread_ = std::thread([this] { run(); });
      thread_id_.store(thread_.get_id());
    }
  }
  wake_.notify_one();
  return id;
}

bool Scheduler::cancel(Id id) {
  std::lock_guard hold(lock_);
  for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
    if (it->second.first != id) continue;
    tasks_.erase(it);
    return true;
  }
  return false;
}

void Scheduler::cancel_and_wait(Id id) {
  if (id == 0 || cancel(id) || in_callback()) return;
  std::unique_lock hold(lock_);
  done_.wait(hold, [&] { return running_ != id; });
}

void Scheduler::stop() {
  std::thread thread;
  {
    std::lock_guard hold(lock_);
    stop_ = true;
    tasks_.clear();
    thread = std::move(thread_);
  }
  wake_.notify_all();
  if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
  if (thread.joinable()) thread.detach();  // stopped from its own callback: it ends by itself
}

void Scheduler::run() {
  std::unique_lock hold(lock_);
  while (!stop_) {
    if (tasks_.empty()) {
      wake_.wait(hold);
      continue;
    }
    const auto first = tasks_.begin();
    // A copy: the wait reads the time again after the lock is given up, when a cancel
    // may have freed the task's entry.
    const Clock::time_point due = first->first;
    if (due > Clock::now()) {
      wake_.wait_until(hold, due);
      continue;
    }
    auto [id, task] = std::move(first->second);
    tasks_.erase(first);
    running_ = id;
    hold.unlock();
    task();
    task = nullptr;  // whatever it holds goes before anyone hears it ended
    hold.lock();
    running_ = 0;
    done_.notify_all();
  }
}

void Timer::arm(Scheduler::Clock::time_point when, std::function<void()> task) {
  std::lock_guard hold(lock_);
  if (id_ != 0) scheduler_.cancel(id_);
  id_ = scheduler_.schedule(when, std::move(task));
}

void Timer::disarm() {
  std::lock_guard hold(lock_);
  if (id_ != 0) scheduler_.cancel(id_);
  id_ = 0;
}

void Timer::disarm_and_wait() {
  Scheduler::Id id;
  {
    std::lock_guard hold(lock_);
    id = std::exchange(id_, 0);
  }
  scheduler_.cancel_and_wait(id);
}

}  // namespace velmora
