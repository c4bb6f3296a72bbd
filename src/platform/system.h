#pragma once

#include <cstdint>

namespace platform {

// The calling thread's last system error code (GetLastError on Windows, errno elsewhere).
int LastSystemError();
void SetLastSystemError(int code);

struct TimeOfDay {
  int hour;
  int minute;
  int second;
};
TimeOfDay LocalTimeOfDay();

void SleepMilliseconds(uint32_t milliseconds);
// A monotonic clock for deadlines and measurements.
uint64_t MonotonicMilliseconds();

// An engine run is a detached thread, never joined. Returns 0 when the thread could not start.
using ThreadHandle = uint64_t;
ThreadHandle StartDetachedThread(void (*entry)());
// Threads started above that have not returned yet (for tests that check nothing is left behind).
int RunningDetachedThreads();

}  // namespace platform
