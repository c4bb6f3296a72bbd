#include "platform/system.h"

#include <windows.h>

#include <atomic>
#include <new>

namespace platform {

int LastSystemError() {
  return static_cast<int>(GetLastError());
}
void SetLastSystemError(int code) {
  SetLastError(static_cast<DWORD>(code));
}

TimeOfDay LocalTimeOfDay() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond};
}

void SleepMilliseconds(uint32_t milliseconds) {
  Sleep(milliseconds);
}

uint64_t MonotonicMilliseconds() {
  return GetTickCount64();
}

namespace {

std::atomic<int> runningThreads{0};

struct ThreadStart {
  void (*entry)();
};

DWORD WINAPI RunDetached(LPVOID parameter) {
  ThreadStart* start = static_cast<ThreadStart*>(parameter);
  void (*entry)() = start->entry;
  delete start;
  entry();
  runningThreads.fetch_sub(1);
  return 0;
}

}  // namespace

ThreadHandle StartDetachedThread(void (*entry)()) {
  ThreadStart* start = new (std::nothrow) ThreadStart{entry};
  if (!start) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  runningThreads.fetch_add(1);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, RunDetached, start, 0, &id);
  if (!thread) {
    const DWORD error = GetLastError();
    runningThreads.fetch_sub(1);
    delete start;
    SetLastError(error);
    return 0;
  }
  // Never joined: the handle is not needed to let the thread run to its end.
  CloseHandle(thread);
  return id;
}

int RunningDetachedThreads() {
  return runningThreads.load();
}

}  // namespace platform
