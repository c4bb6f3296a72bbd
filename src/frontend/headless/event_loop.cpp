#include "frontend/headless/event_loop.h"

#include <utility>

bool EventLoop::Post(Task task) {
  std::unique_lock<std::mutex> hold(lock_);
  if (ended_) {
    // Dropped outside the lock: whatever the task holds is let go of here.
    hold.unlock();
    task = nullptr;
    return false;
  }
  tasks_.push_back(std::move(task));
  wake_.notify_all();
  return true;
}

void EventLoop::SetTimer(int id, int periodMs) {
  std::lock_guard<std::mutex> hold(lock_);
  const std::chrono::milliseconds period(periodMs);
  timers_[id] = Timer{period, Clock::now() + period};
  wake_.notify_all();
}

void EventLoop::KillTimer(int id) {
  std::lock_guard<std::mutex> hold(lock_);
  timers_.erase(id);
  wake_.notify_all();
}

bool EventLoop::TimerRunning(int id) {
  std::lock_guard<std::mutex> hold(lock_);
  return timers_.count(id) != 0;
}

void EventLoop::SetTimerHandler(std::function<void(int)> handler) {
  std::lock_guard<std::mutex> hold(lock_);
  timerHandler_ = std::move(handler);
}

void EventLoop::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  loopThread_ = std::this_thread::get_id();
  while (!quit_) {
    if (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      hold.unlock();
      task();
      hold.lock();
      continue;
    }

    // The earliest timer; a tick that is late is not made up for, as with window timers.
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (next == timers_.end() || it->second.due < next->second.due) next = it;
    }
    const Clock::time_point now = Clock::now();
    if (next != timers_.end() && next->second.due <= now) {
      const int id = next->first;
      Clock::time_point following = next->second.due + next->second.period;
      next->second.due = following > now ? following : now + next->second.period;
      std::function<void(int)> handler = timerHandler_;
      hold.unlock();
      if (handler) handler(id);
      hold.lock();
      continue;
    }

    if (next != timers_.end()) {
      wake_.wait_until(hold, next->second.due);
    } else {
      wake_.wait(hold);
    }
  }
  ended_ = true;
  std::deque<Task> dropped;
  dropped.swap(tasks_);
  timers_.clear();
  hold.unlock();
  dropped.clear();
}

void EventLoop::Quit() {
  std::lock_guard<std::mutex> hold(lock_);
  quit_ = true;
  wake_.notify_all();
}

bool EventLoop::OnLoopThread() {
  std::lock_guard<std::mutex> hold(lock_);
  return loopThread_ == std::this_thread::get_id();
}
