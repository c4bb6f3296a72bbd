#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// The window thread's event loop of the headless front end: posted tasks first, in order, then
// the timers that are due. Post, SetTimer, KillTimer and Quit may come from any thread; Run and
// the tasks and timer handlers it calls run on the window thread.
class EventLoop {
 public:
  using Task = std::function<void()>;

  // False (the task dropped) once the loop has ended.
  bool Post(Task task);
  // Starts timer `id` (or restarts it when it runs) with its first tick one period from now.
  void SetTimer(int id, int periodMs);
  void KillTimer(int id);
  bool TimerRunning(int id);
  void SetTimerHandler(std::function<void(int id)> handler);

  // Runs until Quit, once; remembers the calling thread as the loop's thread.
  void Run();
  void Quit();
  bool OnLoopThread();

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    std::chrono::milliseconds period;
    Clock::time_point due;
  };

  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  std::map<int, Timer> timers_;
  std::function<void(int)> timerHandler_;
  std::thread::id loopThread_;
  bool quit_ = false;
  bool ended_ = false;
};
