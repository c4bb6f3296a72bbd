#include "frontend/service/service_app.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/app_state.h"
#include "core/lifecycle.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "frontend/service/service_journal.h"
#include "listen/request_report.h"
#include "platform/system.h"
#include "ui/control_ids.h"
#include "ui/front_end_hooks.h"
#include "ui/main_window.h"

namespace {

void WriteRequestLine(const AnsweredRequest& request) {
  const platform::TimeOfDay now = platform::LocalTimeOfDay();
  service_journal::WriteLines(
      service_journal::FormatRequestLine(now.hour, now.minute, now.second, request));
}

}  // namespace

ServiceApp::ServiceApp() : surface_(std::make_unique<ServiceSurface>(loop_)) {}

ServiceApp::~ServiceApp() {
  if (windowThread_.joinable()) Stop(std::chrono::seconds(2));
}

bool ServiceApp::Start(const std::string& startDirectory, std::string* error) {
  loop_.Post([this, startDirectory] { StartOnWindowThread(startDirectory); });
  windowThread_ = std::thread([this] { loop_.Run(); });
  std::unique_lock<std::mutex> hold(stateLock_);
  stateChanged_.wait(hold, [&] { return startDone_; });
  if (started_) return true;
  if (error) *error = startError_;
  hold.unlock();
  windowThread_.join();
  return false;
}

void ServiceApp::Finish(bool started, const std::string& error) {
  std::lock_guard<std::mutex> hold(stateLock_);
  startDone_ = true;
  started_ = started;
  windowOpen_ = started;
  startError_ = error;
  stateChanged_.notify_all();
}

// The whole start-up of the service, in the order nothing is touched before the directory is
// known to be the service's own: enter it, the start-up steps (which claim it), then window and
// listening.
void ServiceApp::StartOnWindowThread(const std::string& startDirectory) {
  std::string error;
  if (::chdir(startDirectory.c_str()) != 0) {
    error = std::string("cannot enter the folder: ") + std::strerror(errno);
  } else {
    // The start-up claims the folder for this process, or refuses it untouched.
    const StartUpOutcome outcome = RunStartUpSteps();
    if (outcome.refusal != StartRefusal::kNone) {
      char reason[kRefusalTextWidth];
      FormatStartRefusal(outcome, reason, sizeof reason);
      error = reason;
    }
  }
  if (!error.empty()) {
    loop_.Quit();
    Finish(false, error);
    return;
  }

  FrontEndHooks hooks;
  hooks.destroyMainWindow = [this] { DestroyOnWindowThread(); };
  hooks.quitEventLoop = [this] { loop_.Quit(); };
  SetFrontEndHooks(hooks);
  SetLogBlockObserver(
      [this](const std::string&) { service_journal::WriteLines(surface_->TakeNewErrorLines()); });
  SetRequestObserver(WriteRequestLine);
  loop_.SetTimerHandler([this](int id) {
    if (id == kReplyTimerId && surface_->ReplyTimerRunning()) HandleMainWindowTimer(id);
  });

  app.mainWindow = surface_.get();
  InitMainWindow();
  service_journal::WriteLines(
      std::string(LocalText("tazo-service: nasłuch w ", "tazo-service: listening in ")) +
      app.startDirectory + LocalText(" na ", " on ") +
      std::string(app.portName, FieldLength(app.portName, kPortNameWidth)) +
      LocalText(", opóźnienie odpowiedzi ", ", reply delay ") + std::to_string(app.replyDelay) +
      " s\n");
  // A folder without its settings listens with none of the command names: say why nothing will
  // be answered rather than listen in silence.
  if (app.sendFileCommand[0] == 0 && app.changeDirCommand[0] == 0 && app.sendDirCommand[0] == 0) {
    service_journal::WriteLines(LocalText(
        "tazo-service: tazo.ini nie ma nazw komend, żadne żądanie nie zostanie rozpoznane\n",
        "tazo-service: tazo.ini names no commands, so no request will be recognised\n"));
  }
  HandleMainWindowCommand(ListenButton);
  Finish(true, "");
}

void ServiceApp::DestroyOnWindowThread() {
  {
    std::lock_guard<std::mutex> hold(stateLock_);
    if (!windowOpen_) return;
    windowOpen_ = false;
  }
  // Ends listening and any reply being sent, deletes the temporary file, saves the settings and
  // quits the loop.
  HandleMainWindowDestroy();
  app.mainWindow = nullptr;
}

bool ServiceApp::Stop(std::chrono::milliseconds timeout) {
  if (!windowThread_.joinable()) return true;
  loop_.Post([this] { DestroyOnWindowThread(); });
  windowThread_.join();
  const bool ended = WaitForEnginesToEnd(static_cast<uint32_t>(timeout.count()));
  SetLogBlockObserver(nullptr);
  SetRequestObserver(nullptr);
  SetFrontEndHooks(FrontEndHooks());
  // A log block written by the last reset after the window went.
  service_journal::WriteLines(surface_->TakeNewErrorLines());
  // An engine that still runs may still reach the surface: it is left to the process.
  if (!ended) static_cast<void>(surface_.release());
  return ended;
}
