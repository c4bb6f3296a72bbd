#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/app_state.h"
#include "core/lifecycle.h"
#include "frontend/headless/event_loop.h"
#include "frontend/headless/headless_surface.h"

// The program with the headless front end: a window thread that starts the program in a given
// directory, shows the main window as a HeadlessSurface and runs its event loop (posted user
// actions, timer 1 every 150 ms, timer 2 every 1000 ms while started). The application state is
// process-wide, so one HeadlessApp at a time.
class HeadlessApp {
 public:
  HeadlessApp();
  // Ends the program if it still runs (transfers stopped, the shut-down steps run) and waits a
  // while for engine threads to end.
  ~HeadlessApp();
  HeadlessApp(const HeadlessApp&) = delete;
  HeadlessApp& operator=(const HeadlessApp&) = delete;

  // Makes `startDirectory` current, runs the start-up steps and initialises the main window, all
  // on the window thread. False, with `error`, when the directory cannot be entered or the
  // start-up refuses it (startOutcome() then says why; nothing in it was touched).
  bool Start(const std::string& startDirectory, std::string* error);
  StartUpOutcome startOutcome() const { return startOutcome_; }

  HeadlessSurface& surface() { return *surface_; }

  // Runs `task` on the window thread and waits until it has run. False when the window is gone.
  bool RunOnWindow(std::function<void()> task);

  // What the user does. Press clicks a control (a push-like check box toggles its check first, as
  // the toolkit does); false, with `error`, when the control is unknown, disabled or the window
  // is gone.
  bool Press(int control, std::string* error = nullptr);
  // Types into an edit control (replacing its text).
  bool Type(int control, const std::string& text);
  // F1 on a control.
  bool AskHelp(int control);
  // The close box: asks for confirmation (answered from the message queue).
  bool Close();
  // The window destroyed without asking (the shut-down steps run).
  void Destroy();

  bool WindowOpen();
  bool WaitClosed(std::chrono::milliseconds timeout);

  // Waits until no engine thread runs any more.
  static bool WaitForEngines(std::chrono::milliseconds timeout);

 private:
  void WindowThread(const std::string& startDirectory);
  void DestroyOnWindowThread();

  std::unique_ptr<HeadlessSurface> surface_;
  EventLoop loop_;
  std::thread windowThread_;
  std::mutex replyTimerLock_;
  std::mutex stateLock_;
  std::condition_variable stateChanged_;
  bool started_ = false;
  bool startFailed_ = false;
  std::string startError_;
  StartUpOutcome startOutcome_;
  bool windowOpen_ = false;
};

// Writes a settings file with exactly the persisted fields of `settings` (347 bytes).
bool WriteSettingsFile(const std::string& path, const PortSettings& settings);
// Settings for a program that talks to a machine on COM1 at `baudText`: 8 data bits, no parity,
// English, change-directory confirmation on, the commands SENDFILE, CHDIR and DIR, in
// `workingDirectory` (cut to its field).
PortSettings MachineLineSettings(const char* baudText, const std::string& workingDirectory);
