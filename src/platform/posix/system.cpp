#include "platform/system.h"

#include <cerrno>
#include <ctime>

#include <atomic>
#include <system_error>
#include <thread>

namespace platform {

int LastSystemError() {
  return errno;
}
void SetLastSystemError(int code) {
  errno = code;
}

TimeOfDay LocalTimeOfDay() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return TimeOfDay{parts.tm_hour, parts.tm_min, parts.tm_sec};
}

void SleepMilliseconds(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint64_t MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

namespace {
std::atomic<int> runningThreads{0};
std::atomic<ThreadHandle> lastThreadHandle{0};
}  // namespace

ThreadHandle StartDetachedThread(void (*entry)()) {
  runningThreads.fetch_add(1);
  try {
    std::thread([entry] {
      entry();
      runningThreads.fetch_sub(1);
    }).detach();
  } catch (const std::system_error& failure) {
    runningThreads.fetch_sub(1);
    errno = failure.code().value();
    return 0;
  }
  return lastThreadHandle.fetch_add(1) + 1;
}

int RunningDetachedThreads() {
  return runningThreads.load();
}

}  // namespace platform
