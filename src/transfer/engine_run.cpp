#include "transfer/engine_run.h"

#include <deque>
#include <mutex>

#include "core/app_state.h"
#include "platform/system.h"
#include "transfer/engines.h"

namespace run {
namespace {

// Guards the run identity together with transferRunning, the port and file slots, the thread
// handles and replyDelay. Never held across a surface call.
std::mutex runLock;
RunId lastRun = 0;
std::atomic<RunId> currentRun{0};
std::atomic<RunId> latestRun{0};

// Runs begun by StartEngine for threads that have not picked them up yet, one queue per kind of
// engine (threads of one kind are interchangeable), and the run handed to this thread.
std::deque<RunId> handedRuns[3];
thread_local RunId handedRun = 0;

void EndLocked() {
  app.transferRunning = 0;
  currentRun = 0;
  app.portHandle.Close();
  app.openFile.Close();
  app.sendThread = 0;
  app.sendThreadId = 0;
  app.receiveThread = 0;
  app.receiveThreadId = 0;
}

}  // namespace

// Under runLock.
RunId BeginLocked() {
  if (currentRun.load() != 0) {
    // A run that never saw its reset: it must not keep the port from this one.
    app.portHandle.Close();
    app.openFile.Close();
  }
  RunId id = ++lastRun;
  latestRun = id;
  currentRun = id;
  app.transferRunning = 1;
  return id;
}

template <Engine kind>
void EngineEntry(void (*engine)()) {
  {
    std::lock_guard<std::mutex> hold(runLock);
    std::deque<RunId>& queue = handedRuns[static_cast<int>(kind)];
    if (!queue.empty()) {
      handedRun = queue.front();
      queue.pop_front();
    }
  }
  engine();
}

void SendEntry() {
  EngineEntry<Engine::kSend>(SendEngine);
}
void ReceiveEntry() {
  EngineEntry<Engine::kReceive>(ReceiveEngine);
}
void ListenEntry() {
  EngineEntry<Engine::kListen>(ListenEngine);
}

RunId Begin() {
  // A thread that StartEngine started works in the run begun for it, even when that run has been
  // ended meanwhile: then it does nothing.
  if (handedRun != 0) {
    const RunId id = handedRun;
    handedRun = 0;
    return id;
  }
  std::lock_guard<std::mutex> hold(runLock);
  return BeginLocked();
}

bool IsMine(RunId id) {
  return currentRun.load() == id && app.transferRunning.load() == 1;
}

bool IsLatest(RunId id) {
  return latestRun.load() == id;
}

void EndCurrent() {
  std::lock_guard<std::mutex> hold(runLock);
  EndLocked();
}

bool EndIfMine(RunId id) {
  std::lock_guard<std::mutex> hold(runLock);
  if (!IsMine(id)) return false;
  EndLocked();
  return true;
}

bool AdoptPort(RunId id, const std::shared_ptr<platform::SerialPort>& port) {
  {
    std::lock_guard<std::mutex> hold(runLock);
    if (IsMine(id)) {
      app.portHandle.Set(port);
      return true;
    }
  }
  port->Close();
  return false;
}

bool AdoptFile(RunId id, const std::shared_ptr<platform::File>& file) {
  {
    std::lock_guard<std::mutex> hold(runLock);
    if (IsMine(id)) {
      app.openFile.Set(file);
      return true;
    }
  }
  file->Close();
  return false;
}

bool CloseOpenFile(RunId id) {
  std::lock_guard<std::mutex> hold(runLock);
  if (!IsMine(id)) return false;
  app.openFile.Close();
  return true;
}

bool StillListeningAfter(RunId id) {
  return app.listenMode.load() == 1 && IsLatest(id);
}

bool CommitWhileListening(RunId id, const std::function<void()>& commit) {
  std::lock_guard<std::mutex> hold(runLock);
  if (!StillListeningAfter(id)) return false;
  commit();
  return true;
}

bool StartEngine(Engine engine, RunId after) {
  // Under the lock, so that the handle is stored before the new run can end and mark it closed.
  std::lock_guard<std::mutex> hold(runLock);
  if (after != 0 && !IsLatest(after)) return false;
  // Listening ended while this start was on its way: the window thread has reset everything.
  if (engine == Engine::kListen && app.listenMode.load() == 0) return false;
  // The run begins here, not when its thread gets going: a second press of Start that comes
  // before the thread runs finds the transfer running and stops it.
  const RunId id = BeginLocked();
  std::deque<RunId>& queue = handedRuns[static_cast<int>(engine)];
  queue.push_back(id);
  static void (*const kEntries[3])() = {SendEntry, ReceiveEntry, ListenEntry};
  const platform::ThreadHandle handle =
      platform::StartDetachedThread(kEntries[static_cast<int>(engine)]);
  if (handle == 0) {
    queue.pop_back();
    EndLocked();
    return false;
  }
  if (engine == Engine::kSend) {
    app.sendThread = handle;
    app.sendThreadId = static_cast<uint32_t>(handle);
  } else {
    app.receiveThread = handle;
    app.receiveThreadId = static_cast<uint32_t>(handle);
  }
  return true;
}

bool Pause(uint32_t milliseconds, bool (*keepWaiting)(RunId), RunId id) {
  // Short slices: the conditions are plain flags that the window thread changes.
  const uint64_t end = platform::MonotonicMilliseconds() + milliseconds;
  for (;;) {
    if (!keepWaiting(id)) return false;
    uint64_t now = platform::MonotonicMilliseconds();
    if (now >= end) return true;
    uint64_t left = end - now;
    platform::SleepMilliseconds(static_cast<uint32_t>(left < 20 ? left : 20));
  }
}

uint8_t ReplyDelay() {
  std::lock_guard<std::mutex> hold(runLock);
  return app.replyDelay;
}

void SetReplyDelay(uint8_t seconds) {
  std::lock_guard<std::mutex> hold(runLock);
  app.replyDelay = seconds;
}

}  // namespace run
