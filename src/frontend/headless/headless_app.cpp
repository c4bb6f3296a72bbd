#include "frontend/headless/headless_app.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/lifecycle.h"
#include "frontend/headless/headless_forms.h"
#include "frontend/headless/headless_messages.h"
#include "platform/system.h"
#include "settings/settings_file.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"
#include "ui/front_end_hooks.h"
#include "ui/main_window.h"

static_assert(sizeof(PortSettings) == kSettingsFileSize, "the persisted fields are the file");

namespace {

// Signals its completion when dropped, whether the task it belongs to ran or not.
struct Completion {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  bool ran = false;
};

struct CompletionGuard {
  std::shared_ptr<Completion> completion;
  ~CompletionGuard() {
    if (!completion) return;
    std::lock_guard<std::mutex> hold(completion->lock);
    completion->finished = true;
    completion->done.notify_all();
  }
};

MessageBoxAnswer ToHookAnswer(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::kYes:
      return MessageBoxAnswer::kYes;
    case MessageAnswer::kNo:
      return MessageBoxAnswer::kNo;
    case MessageAnswer::kOk:
      break;
  }
  return MessageBoxAnswer::kOk;
}

}  // namespace

bool WriteSettingsFile(const std::string& path, const PortSettings& settings) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = std::fwrite(&settings, sizeof settings, 1, file) == 1;
  return std::fclose(file) == 0 && written;
}

PortSettings MachineLineSettings(const char* baudText, const std::string& workingDirectory) {
  PortSettings settings;
  std::memset(&settings, 0, sizeof settings);
  std::snprintf(settings.portName, sizeof settings.portName, "COM1");
  std::snprintf(settings.baudText, sizeof settings.baudText, "%s", baudText);
  settings.parityIndex = 2;
  settings.byteSizeIndex = 4;
  settings.language = 1;
  settings.chgdirConfirm = 1;
  std::snprintf(settings.workingDirectory, sizeof settings.workingDirectory, "%s",
                workingDirectory.c_str());
  std::snprintf(settings.sendFileCommand, sizeof settings.sendFileCommand, "SENDFILE");
  std::snprintf(settings.changeDirCommand, sizeof settings.changeDirCommand, "CHDIR");
  std::snprintf(settings.sendDirCommand, sizeof settings.sendDirCommand, "DIR");
  return settings;
}

HeadlessApp::HeadlessApp() : surface_(std::make_unique<HeadlessSurface>()) {}

HeadlessApp::~HeadlessApp() {
  if (windowThread_.joinable()) {
    if (WindowOpen()) {
      RunOnWindow([] {
        if (app.listenMode.load() != 0) EndListening();
        if (app.transferRunning.load() == 1) ResetAfterTransfer(0);
      });
      Destroy();
    }
    loop_.Quit();
    windowThread_.join();
  }
  const bool enginesEnded = WaitForEngines(std::chrono::seconds(10));
  surface_->SetReplyTimerObserver(nullptr);
  if (app.mainWindow.load() == surface_.get()) app.mainWindow = nullptr;
  SetFrontEndHooks(FrontEndHooks());
  ResetHeadlessMessages();
  ResetHeadlessFileDialogs();
  // An engine that is still running may still hold the surface: it is left to the process.
  if (!enginesEnded) static_cast<void>(surface_.release());
  ReleaseStartDirectory();
}

bool HeadlessApp::Start(const std::string& startDirectory, std::string* error) {
  windowThread_ = std::thread(&HeadlessApp::WindowThread, this, startDirectory);
  std::unique_lock<std::mutex> hold(stateLock_);
  stateChanged_.wait(hold, [&] { return started_ || startFailed_; });
  if (startFailed_) {
    if (error) *error = startError_;
    hold.unlock();
    windowThread_.join();
    return false;
  }
  return true;
}

void HeadlessApp::WindowThread(const std::string& startDirectory) {
  if (::chdir(startDirectory.c_str()) != 0) {
    std::lock_guard<std::mutex> hold(stateLock_);
    startFailed_ = true;
    startError_ =
        "cannot enter the start directory " + startDirectory + ": " + std::strerror(errno);
    stateChanged_.notify_all();
    return;
  }

  const StartUpOutcome outcome = RunStartUpSteps();
  if (outcome.refusal != StartRefusal::kNone) {
    char reason[kRefusalTextWidth];
    FormatStartRefusal(outcome, reason, sizeof reason);
    std::lock_guard<std::mutex> hold(stateLock_);
    startFailed_ = true;
    startOutcome_ = outcome;
    startError_ = std::string(reason) + ": " + startDirectory;
    stateChanged_.notify_all();
    return;
  }

  // The bitmaps: the headless surface shows their resource numbers.
  for (int i = 0; i < 5; ++i) app.animationImages[i] = FirstAnimationImage + i;
  app.startImage = StartImage;
  app.stopImage = StopImage;

  FrontEndHooks hooks;
  hooks.chooseReceiveFile = [](const char* title, char* name, size_t width) {
    return ShowHeadlessFileDialog(true, title, name, width);
  };
  hooks.chooseSendFile = [](const char* title, char* name, size_t width) {
    return ShowHeadlessFileDialog(false, title, name, width);
  };
  hooks.showMessage = [](const char* text, const char* caption, MessageBoxButtons buttons) {
    return ToHookAnswer(ShowHeadlessMessage(
        text ? text : "", caption ? caption : "Error",
        buttons == MessageBoxButtons::kYesNo ? MessageButtons::kYesNo : MessageButtons::kOk));
  };
  hooks.showSettingsDialog = [] { OpenHeadlessSettingsDialog(); };
  hooks.openViewer = [](std::shared_ptr<platform::File> file, const char* title, int mode) {
    OpenHeadlessViewer(std::move(file), title, mode);
  };
  hooks.destroyViewer = [] { CloseHeadlessViewer(); };
  hooks.startAnimationTimer = [this](int periodMs) {
    loop_.SetTimer(kAnimationTimerId, periodMs);
    return kAnimationTimerId;
  };
  hooks.destroyMainWindow = [this] { DestroyOnWindowThread(); };
  hooks.quitEventLoop = [this] { loop_.Quit(); };
  SetFrontEndHooks(hooks);

  // Timer 2 is started and killed through the surface, from whichever thread.
  // A start on an engine thread and a kill on this one may report in either order: each report
  // applies the surface's state as it is by then, one report at a time, so the last one wins.
  surface_->SetReplyTimerObserver([this](bool started) {
    std::lock_guard<std::mutex> hold(replyTimerLock_);
    if (surface_->ReplyTimerRunning()) {
      if (started) loop_.SetTimer(kReplyTimerId, kReplyTimerPeriodMs);
    } else {
      loop_.KillTimer(kReplyTimerId);
    }
  });
  loop_.SetTimerHandler([this](int id) {
    if (!WindowOpen()) return;
    if (id == kReplyTimerId && !surface_->ReplyTimerRunning()) return;
    HandleMainWindowTimer(id);
  });

  app.mainWindow = surface_.get();
  InitMainWindow();
  {
    std::lock_guard<std::mutex> hold(stateLock_);
    started_ = true;
    windowOpen_ = true;
    stateChanged_.notify_all();
  }
  loop_.Run();
}

void HeadlessApp::DestroyOnWindowThread() {
  if (!WindowOpen()) return;
  CloseHeadlessViewer();
  HandleMainWindowDestroy();
  // From here the window is gone: what engines still do reaches no control.
  app.mainWindow = nullptr;
  std::lock_guard<std::mutex> hold(stateLock_);
  windowOpen_ = false;
  stateChanged_.notify_all();
}

bool HeadlessApp::RunOnWindow(std::function<void()> task) {
  if (loop_.OnLoopThread()) {
    task();
    return true;
  }
  auto completion = std::make_shared<Completion>();
  auto guard = std::make_shared<CompletionGuard>();
  guard->completion = completion;
  bool posted = loop_.Post([task = std::move(task), guard, completion]() mutable {
    {
      std::lock_guard<std::mutex> hold(completion->lock);
      completion->ran = true;
    }
    task();
  });
  guard.reset();
  if (!posted) return false;
  std::unique_lock<std::mutex> hold(completion->lock);
  completion->done.wait(hold, [&] { return completion->finished; });
  return completion->ran;
}

bool HeadlessApp::Press(int control, std::string* error) {
  const ControlInfo* info = FindMainWindowControl(control);
  if (!info) {
    if (error) *error = "no such control";
    return false;
  }
  bool pressed = false;
  bool ran = RunOnWindow([&] {
    if (!WindowOpen()) return;
    if (!surface_->IsEnabled(control)) return;
    if (info->kind == ControlKind::kPushLikeCheckBox) {
      surface_->SetCheck(control, !surface_->IsChecked(control));
    }
    pressed = true;
    HandleMainWindowCommand(control);
  });
  if (!ran || !WindowOpen()) {
    if (!pressed && error) *error = "the main window is closed";
    return pressed;
  }
  if (!pressed && error) *error = std::string(info->name) + " is disabled";
  return pressed;
}

bool HeadlessApp::Type(int control, const std::string& text) {
  return RunOnWindow([&] {
    if (WindowOpen()) surface_->TypeText(control, text);
  });
}

bool HeadlessApp::AskHelp(int control) {
  return RunOnWindow([&] {
    if (WindowOpen()) HandleMainWindowHelp(control);
  });
}

bool HeadlessApp::Close() {
  return RunOnWindow([&] {
    if (WindowOpen()) HandleMainWindowClose();
  });
}

void HeadlessApp::Destroy() {
  RunOnWindow([this] { DestroyOnWindowThread(); });
}

bool HeadlessApp::WindowOpen() {
  std::lock_guard<std::mutex> hold(stateLock_);
  return windowOpen_;
}

bool HeadlessApp::WaitClosed(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(stateLock_);
  return stateChanged_.wait_for(hold, timeout, [&] { return !windowOpen_; });
}

bool HeadlessApp::WaitForEngines(std::chrono::milliseconds timeout) {
  const uint64_t deadline = platform::MonotonicMilliseconds() + timeout.count();
  while (platform::RunningDetachedThreads() > 0) {
    if (platform::MonotonicMilliseconds() >= deadline) return false;
    platform::SleepMilliseconds(5);
  }
  return true;
}
