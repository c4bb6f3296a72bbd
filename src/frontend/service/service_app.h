#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "frontend/headless/event_loop.h"
#include "frontend/service/service_surface.h"

// The program without a window for one machine: a window thread runs the event loop (timer 2
// only) over a ServiceSurface; listening is switched on at start and stays on until Stop. The
// application state is process-wide, so one ServiceApp per process.
class ServiceApp {
 public:
  ServiceApp();
  ~ServiceApp();
  ServiceApp(const ServiceApp&) = delete;
  ServiceApp& operator=(const ServiceApp&) = delete;

  // Makes `startDirectory` current, claims it, runs the start-up steps and switches listening on,
  // all on the window thread. False, with the reason in `error` (Windows-1250, in the stored
  // language), when the directory cannot be used or another program holds it; nothing in it was
  // touched then.
  bool Start(const std::string& startDirectory, std::string* error);

  // Ends the program as a confirmed close does: a reply being sent is stopped, listening ended,
  // the temporary file deleted and the settings saved. Waits up to `timeout` for the engines;
  // false when one still runs.
  bool Stop(std::chrono::milliseconds timeout);

 private:
  void StartOnWindowThread(const std::string& startDirectory);
  void DestroyOnWindowThread();
  void Finish(bool started, const std::string& error);

  EventLoop loop_;
  std::unique_ptr<ServiceSurface> surface_;
  std::thread windowThread_;
  std::mutex stateLock_;
  std::condition_variable stateChanged_;
  bool startDone_ = false;
  bool started_ = false;
  bool windowOpen_ = false;
  std::string startError_;
};
