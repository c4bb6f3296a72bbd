#include "transfer/engine_steps.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/app_state.h"
#include "core/reporting.h"
#include "platform/system.h"
#include "transfer/line_status.h"
#include "transfer/transfer_control.h"
#include "ui/surface.h"

namespace {

constexpr uint32_t kListenRetryPause = 1000;

std::atomic<PortOpener> portOpener{platform::OpenSerialPort};

}  // namespace

void SetPortOpener(PortOpener opener) {
  portOpener = opener ? opener : platform::OpenSerialPort;
}

void ErrorExit(EngineRun& engine, const char* text, int code, ListenRetry retry) {
  if (!run::IsMine(engine.id)) return;
  platform::SetLastSystemError(code);
  ErrorReporter(text);
  if (!ResetRunIfMine(engine.id, 1)) return;
  if (app.listenMode.load() != 1) return;
  if (retry == ListenRetry::kAfterPause &&
      !run::Pause(kListenRetryPause, run::StillListeningAfter, engine.id)) {
    return;
  }
  StartListeningAfter(engine.id);
}

void GiveWay(EngineRun& engine) {
  if (!run::EndIfMine(engine.id)) return;
  if (run::IsLatest(engine.id)) RestoreTransferControls();
}

bool OpenRunPort(EngineRun& engine, uint32_t timeout, uint32_t events) {
  // The field may be full ("COM12") with no terminator of its own.
  char portName[kPortNameWidth + 1] = {};
  std::memcpy(portName, app.portName, kPortNameWidth);
  std::shared_ptr<platform::SerialPort> port = portOpener.load()(portName, app.startDirectory);
  if (!port) {
    ErrorExit(engine, "opening port", platform::LastSystemError(), ListenRetry::kAfterPause);
    return false;
  }
  if (!run::AdoptPort(engine.id, port)) return false;
  engine.port = port;
  if (!port->SetEventMask(events)) {
    ErrorExit(engine, "SetCommMask", platform::LastSystemError());
    return false;
  }
  const PortDcb dcb = app.portDcb;
  if (!port->SetState(dcb)) {
    ErrorExit(engine, "SetCommState", platform::LastSystemError());
    return false;
  }
  const platform::CommTimeouts timeouts{timeout, timeout, timeout, timeout, timeout};
  if (!port->SetTimeouts(timeouts)) {
    ErrorExit(engine, "SetCommTimeouts", platform::LastSystemError());
    return false;
  }
  return run::IsMine(engine.id);
}

void ServeLineEvent(EngineRun& engine, uint32_t eventMask) {
  uint32_t errors = 0;
  platform::ComStat status{};
  engine.port->ClearError(&errors, &status);
  if (!run::IsMine(engine.id)) return;
  ShowLineStatusOf(engine.port.get(), eventMask, errors, status);
  // A reset that came while the lamps were on their way has put them off before they landed:
  // put them off again, unless a new run shows its own by now.
  if (!run::IsMine(engine.id) && app.transferRunning.load() == 0) TurnLampsOff();
}

bool KeepStatusWaitGoing(EngineRun& engine, bool* statusPending) {
  if (*statusPending) return true;
  uint32_t eventMask = 0;
  switch (engine.port->StartEventWait(&eventMask)) {
    case platform::IoStart::kCompleted:
      ServeLineEvent(engine, eventMask);
      return true;
    case platform::IoStart::kPending:
      *statusPending = true;
      return true;
    case platform::IoStart::kFailed:
      break;
  }
  ErrorExit(engine, "WaitCommEvent", platform::LastSystemError());
  return false;
}

bool ServeCompletedStatusWait(EngineRun& engine, bool* statusPending) {
  const platform::IoResult result = engine.port->EventResult();
  if (result.status == platform::IoResult::kOk) {
    ServeLineEvent(engine, result.value);
    *statusPending = false;
  } else if (result.status == platform::IoResult::kFailed) {
    ErrorExit(engine, "GetOverlappedResult (status)", platform::LastSystemError());
    return false;
  }
  return true;
}

void ShowCount(int control, int32_t count) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", count);
  SetControlText(control, text);
}
