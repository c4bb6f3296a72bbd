#include "transfer/transfer_control.h"

#include <cstring>

#include "core/app_state.h"
#include "core/lifecycle.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "transfer/engine_run.h"
#include "transfer/line_status.h"
#include "ui/control_ids.h"
#include "ui/surface.h"
#include "verify/verification.h"

namespace {

// Log flushes made by resets on this thread: the reset that ends verification sees whether the
// inner reset has already written the box to the log.
thread_local uint64_t flushesOnThisThread = 0;

// A listen reply made in a temporary file goes once its send has ended, however it ended, or once
// listening ends with the reply still waiting: left behind, such files would use up the reply
// names. A file the machine asked for is never the temporary file, so it stays.
void DeleteReplyFile() {
  if (app.transferMode.load() != 0 || app.tempFilePath[0] == 0) return;
  if (std::strcmp(app.tempFilePath, app.openFilePath) != 0) return;
  app.openFile.Close();
  DeleteTempFile();
}

// Everything of the reset after the run itself has been ended.
void FinishReset(int skipWhileListening) {
  RestoreTransferControls();
  const uint64_t flushesBefore = flushesOnThisThread;
  if (app.verifyOn.load() == 1) EndVerification();
  DeleteReplyFile();
  run::SetReplyDelay(static_cast<uint8_t>(GetControlNumber(DelayField) & 0xFFu));
  // The box text is the same as at the inner flush: writing it twice would double it in the log.
  if (flushesOnThisThread != flushesBefore) return;
  FlushErrorLog(skipWhileListening);
  ++flushesOnThisThread;
}

// The controls change before the engine starts: an engine that ends at once must find them busy,
// or its reset would be undone here.
void StartEngineShowingBusy(run::Engine engine, const char* countLabel) {
  if (app.listenMode.load() == 0) ClearErrorsShown();
  SetButtonImage(StartStopButton, app.stopImage);
  EnableControl(ViewHexButton, false);
  EnableControl(ViewTextButton, false);
  EnableControl(ReceiveFileButton, false);
  EnableControl(SendFileButton, false);
  EnableControl(SettingsButton, false);
  EnableControl(ListenButton, false);
  if (app.verifyOn.load() == 0) EnableControl(VerifyButton, false);
  SetControlText(CountLabel, countLabel);
  if (!run::StartEngine(engine, 0)) RestoreTransferControls();
}

void StartListeningFrom(run::RunId caller) {
  if (app.listenMode.load() == 0) return;
  if (caller != 0 && !run::IsLatest(caller)) return;
  app.transferMode = 1;
  app.sendDirRequested = 0;
  app.sendFileRequested = 0;
  app.changeDirRequested = 0;
  if (caller != 0) {
    ResetRunIfMine(caller, 0);
  } else if (app.transferRunning.load() == 1) {
    ResetAfterTransfer(0);
  }
  SetControlText(CountLabel, "");
  SetControlText(CountField, "");
  EnableControl(SettingsButton, false);
  EnableControl(VerifyButton, false);
  EnableControl(DelayLabel, true);
  EnableControl(ListenGroup, true);
  if (run::StartEngine(run::Engine::kListen, caller)) return;
  // Listening was switched off while the controls above were on their way, so they may have
  // landed after EndListening's: put back what it leaves, unless something runs by now.
  if (app.listenMode.load() == 0 && app.transferRunning.load() == 0) {
    EnableControl(DelayLabel, false);
    EnableControl(ListenGroup, false);
    EnableControl(SettingsButton, true);
    EnableControl(VerifyButton, true);
  }
}

}  // namespace

void RestoreTransferControls() {
  SetProgressPosition(ProgressBar, 0);
  SetButtonImage(StartStopButton, app.startImage);
  EnableControl(ViewHexButton, true);
  EnableControl(ViewTextButton, true);
  EnableControl(ReceiveFileButton, true);
  EnableControl(SendFileButton, true);
  EnableControl(ListenButton, true);
  if (app.listenMode.load() == 0) {
    EnableControl(VerifyButton, true);
    EnableControl(SettingsButton, true);
  }
  TurnLampsOff();
}

bool ResetRunIfMine(run::RunId id, int skipWhileListening) {
  if (!run::EndIfMine(id)) return false;
  FinishReset(skipWhileListening);
  return true;
}

void ResetAfterTransfer(int skipWhileListening) {
  run::EndCurrent();
  FinishReset(skipWhileListening);
}

void StartStopTransfer() {
  app.listenByUser = 0;
  KillReplyTimer(app.replyTimerId);
  SetControlNumber(DelayField, run::ReplyDelay());

  if (app.transferMode.load() == 1) {
    if (app.transferRunning.load() == 1) {
      if (app.listenMode.load() == 0) ResetAfterTransfer(0);
      return;
    }
    SetControlText(CountField, "");
    StartEngineShowingBusy(run::Engine::kReceive, LocalText("Bajty otrzymane", "Bytes received"));
    return;
  }

  if (app.transferRunning.load() == 1) {
    ResetAfterTransfer(0);
    // A stopped listen reply goes back to taking commands.
    if (app.listenMode.load() == 1) StartListening();
    return;
  }
  StartEngineShowingBusy(run::Engine::kSend, LocalText("Bajty do wysłania", "Bytes to send"));
}

void StartListening() {
  StartListeningFrom(0);
}

void StartListeningAfter(run::RunId id) {
  StartListeningFrom(id);
}

void EndListening() {
  app.listenMode = 0;
  app.sendDirRequested = 0;
  app.sendFileRequested = 0;
  app.changeDirRequested = 0;
  CheckControl(ListenButton, false);
  EnableControl(DelayLabel, false);
  EnableControl(ListenGroup, false);
  KillReplyTimer(app.replyTimerId);
  SetControlNumber(DelayField, run::ReplyDelay());
  ResetAfterTransfer(0);
}
