#include "ui/main_window.h"

#include <cstring>

#include "core/app_state.h"
#include "core/lifecycle.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "transfer/engine_run.h"
#include "transfer/transfer_control.h"
#include "ui/context_help.h"
#include "ui/control_ids.h"
#include "ui/front_end_hooks.h"
#include "ui/surface.h"
#include "verify/verification.h"

namespace {

FrontEndHooks activeHooks;

// The help text buffer of the string-table load: 1000 characters with the terminator.
constexpr size_t kHelpTextWidth = 1000;

MessageBoxAnswer ShowMessage(const char* text, const char* caption, MessageBoxButtons buttons) {
  if (!activeHooks.showMessage) {
    return buttons == MessageBoxButtons::kYesNo ? MessageBoxAnswer::kYes : MessageBoxAnswer::kOk;
  }
  return activeHooks.showMessage(text, caption, buttons);
}

void SwitchListenMode() {
  app.listenByUser = 1;
  if (app.listenMode.load() != 0) {
    EndListening();
    return;
  }
  ClearErrorsShown();
  app.listenMode = 1;
  CheckControl(ListenButton, true);
  SetControlText(CountField, "");
  SetControlText(CountLabel, "");
  SetControlText(FileCaption, "");
  SetButtonImage(StartStopButton, app.startImage);
  SetProgressPosition(ProgressBar, 0);
  StartListening();
}

void SwitchVerification() {
  if (app.verifyOn.load() != 0) {
    EndVerification();
  } else {
    BeginVerification();
  }
}

void Animate() {
  if (app.transferRunning.load() == 1) {
    int frame = app.animationFrame;
    if (frame < 0 || frame > 4) frame = 0;
    SetStaticImage(AnimationImage, app.animationImages[frame]);
    app.animationFrame = frame == 4 ? 0 : frame + 1;
  } else {
    SetStaticImage(AnimationImage, app.animationImages[0]);
  }
}

void CountReplyDelayDown() {
  // A reply is only ever sent to a listening peer: a countdown that outlived listen mode (its
  // answer was still being prepared when listening ended) ends without sending.
  if (app.listenMode.load() == 0) {
    KillReplyTimer(kReplyTimerId);
    SetControlNumber(DelayField, run::ReplyDelay());
    return;
  }
  // The field holds at most two digits; only its low byte counts, taken as signed.
  app.delayCountdown = static_cast<int8_t>(GetControlNumber(DelayField) & 0xFFu);
  if (app.delayCountdown > 0) {
    --app.delayCountdown;
  } else {
    app.delayCountdown = static_cast<int8_t>(run::ReplyDelay());
    // Timer 2 by its own number: replyTimerId is written by the engine thread that started it.
    KillReplyTimer(kReplyTimerId);
    StartStopTransfer();
  }
  SetControlNumber(DelayField, static_cast<unsigned>(app.delayCountdown));
}

}  // namespace

void SetFrontEndHooks(const FrontEndHooks& hooks) {
  activeHooks = hooks;
}
const FrontEndHooks& ActiveFrontEndHooks() {
  return activeHooks;
}

void InitMainWindow() {
  LimitControlText(DelayField, 2);
  SetControlNumber(DelayField, app.replyDelay);
  SetMainWindowLabels();
  SetControlText(CurrentDirField, app.workingDirectory);
  app.animationTimerId =
      activeHooks.startAnimationTimer ? activeHooks.startAnimationTimer(kAnimationPeriodMs) : 0;
  app.animationFrame = 0;
  SetButtonImage(StartStopButton, app.startImage);
}

void HandleMainWindowCommand(int controlId) {
  switch (controlId) {
    case ReceiveFileButton:
      ChooseReceiveFile();
      break;
    case SendFileButton:
      ChooseSendFile();
      break;
    case ExitButton:
      HandleMainWindowClose();
      break;
    case SettingsButton:
      if (activeHooks.showSettingsDialog) activeHooks.showSettingsDialog();
      break;
    case StartStopButton:
      StartStopTransfer();
      break;
    case ViewTextButton:
      ViewChosenFile(0);
      break;
    case ViewHexButton:
      ViewChosenFile(1);
      break;
    case HelpButton:
      ShowHelpFile();
      break;
    case ListenButton:
      SwitchListenMode();
      break;
    case VerifyButton:
      SwitchVerification();
      break;
    default:
      break;
  }
}

void HandleMainWindowTimer(int timerId) {
  if (timerId == kAnimationTimerId) {
    Animate();
  } else if (timerId == kReplyTimerId) {
    CountReplyDelayDown();
  }
}

void HandleMainWindowHelp(int controlId) {
  const HelpEntry* entry = FindMainWindowHelp(controlId);
  if (!entry) return;
  const char* text = HelpText(entry->textId);
  if (!text) return;
  char loaded[kHelpTextWidth];
  CopyText(loaded, text);
  ShowMessage(loaded, entry->caption, MessageBoxButtons::kOk);
}

void HandleMainWindowClose() {
  MessageBoxAnswer answer =
      ShowMessage(LocalText("Czy chcesz zamknąć program?", "Do you want to close application?"),
                  LocalText("Wyjście", "Quit"), MessageBoxButtons::kYesNo);
  if (answer == MessageBoxAnswer::kYes && activeHooks.destroyMainWindow) {
    activeHooks.destroyMainWindow();
  }
}

void HandleMainWindowDestroy() {
  // A transfer still running ends as a Stop ends it: the port is closed, so nothing more goes out
  // under a program that is going away, and its engine returns promptly.
  if (app.listenMode.load() == 1) {
    EndListening();
  } else if (app.transferRunning.load() == 1) {
    ResetAfterTransfer(0);
  }
  RunShutDownSteps();
  if (activeHooks.quitEventLoop) activeHooks.quitEventLoop();
}

void SetMainWindowLabels() {
  SetControlText(FileCaption, "");
  SetControlText(LastErrorSourceField, "");
  SetControlText(LastErrorCodeField, "");
  SetControlText(CountLabel, "");

  struct Label {
    int control;
    const char* polish;
    const char* english;
  };
  static const Label kLabels[] = {
      {HelpButton, "Pomoc", "Help"},
      {DelayLabel, "Czas do wysłania", "Time to send"},
      {ListenGroup, "Nasłuch", "Listen"},
      {ModemStatusGroup, "Status modemu", "Modem status"},
      {CommStatusGroup, "Status komunikacji", "Communication status"},
      {ErrorsGroup, "Błędy", "Errors"},
      {ReceiveFileButton, "Odbieranie pliku", "Receive file"},
      {SendFileButton, "Wysyłanie pliku", "Send file"},
      {ViewHexButton, "Zobacz plik (hexa)", "View hexa"},
      {ViewTextButton, "Zobacz plik (tekst)", "View text"},
      {CtsHoldLamp, "CTS Hold", "CTS Hold"},
      {DsrHoldLamp, "DSR Hold", "DSR Hold"},
      {RlsdHoldLamp, "RLSD Hold", "RLSD Hold"},
      {XoffHoldLamp, "XOFF Hold", "XOFF Hold"},
      {XoffSentLamp, "XOFF Sent", "XOFF Sent"},
      {SettingsButton, "Ustawienia", "Settings"},
      {ExitButton, "Wyjście", "Exit"},
      {ListenButton, "Nasłuch", "Listen"},
      {VerifyButton, "Weryfikacja", "Verification"},
      {CurrentDirGroup, "Bieżący katalog", "Current directory"},
  };
  for (const Label& label : kLabels) {
    SetControlText(label.control, LocalText(label.polish, label.english));
  }
}

void BuildFileCaption(const char* prefix, const char* name) {
  std::memset(app.fileCaptionText, 0, sizeof app.fileCaptionText);
  CopyText(app.fileCaptionText, prefix);
  AppendText(app.fileCaptionText, name);
}
