#include <cstdint>
#include <cstring>
#include <memory>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "platform/files.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"
#include "ui/front_end_hooks.h"
#include "ui/main_window.h"
#include "ui/surface.h"

namespace {

enum class Direction { kSend, kReceive };

MessageBoxAnswer ShowOkMessage(const char* text) {
  const FrontEndHooks& hooks = ActiveFrontEndHooks();
  if (!hooks.showMessage) return MessageBoxAnswer::kOk;
  // No caption: the toolkit's default one.
  return hooks.showMessage(text, nullptr, MessageBoxButtons::kOk);
}

void DestroyShownViewer() {
  const FrontEndHooks& hooks = ActiveFrontEndHooks();
  if (hooks.destroyViewer) hooks.destroyViewer();
}

// The chosen file must be usable before anything else changes: receiving creates (empties) it,
// sending needs it readable. The handle is closed at once; the engines open the file themselves.
bool TryChosenFile(const char* path, Direction direction) {
  std::shared_ptr<platform::File> file = platform::File::Open(
      path, direction == Direction::kReceive ? platform::FileMode::kReadWriteCreate
                                             : platform::FileMode::kReadShared);
  if (!file) return false;
  file->Close();
  return true;
}

void ChooseFile(Direction direction) {
  const FrontEndHooks& hooks = ActiveFrontEndHooks();
  const bool receive = direction == Direction::kReceive;
  const auto& dialog = receive ? hooks.chooseReceiveFile : hooks.chooseSendFile;

  char name[kPathWidth];
  char path[kPathWidth];
  for (;;) {
    std::memset(name, 0, sizeof name);
    const char* title = receive ? LocalText("Otwórz plik do odbioru", "Open file to receive")
                                : LocalText("Otwórz plik do wysłania", "Open file to send");
    if (!dialog || !dialog(title, name, sizeof name)) return;

    // The dialog has made the chosen file's folder the current directory.
    if (platform::GetCurrentDir(app.workingDirectory, sizeof app.workingDirectory)) {
      SetControlText(CurrentDirField, app.workingDirectory);
    }
    app.openFile.Close();
    if (platform::GetFullPath(name, path, sizeof path) && TryChosenFile(path, direction)) break;
    ErrorReporter(LocalText("niewłaściwy plik", "invalid file"));
  }

  if (app.listenMode.load() != 0) EndListening();
  if (app.transferRunning.load() == 1) ResetAfterTransfer(0);

  // Taken only now: ending a verification above puts its reference file back into
  // openFilePath, which must not replace the file just chosen.
  CopyText(app.openFileTitle, name);
  CopyText(app.openFilePath, path);

  BuildFileCaption(receive ? LocalText("Odbierz plik do ", "Receive file to ")
                           : LocalText("Wyślij plik ", "Send file "),
                   app.openFileTitle);
  SetControlText(CountField, "");
  SetControlText(CountLabel, receive ? LocalText("Bajty otrzymane", "Bytes received")
                                     : LocalText("Bajty do wysłania", "Bytes to send"));
  SetControlText(FileCaption, app.fileCaptionText);
  SetButtonImage(StartStopButton, app.startImage);
  SetProgressPosition(ProgressBar, 0);
  if (!receive) {
    EnableControl(ViewHexButton, true);
    EnableControl(ViewTextButton, true);
  }
  app.transferMode = receive ? 1 : 0;
}

// Opens `path` for the viewer; the size of 0 or a failure is told by `size`/the result.
std::shared_ptr<platform::File> OpenForViewing(const char* path, uint64_t* size) {
  std::shared_ptr<platform::File> file =
      platform::File::Open(path, platform::FileMode::kReadShared);
  if (file && !file->Size(size)) file.reset();
  return file;
}

}  // namespace

void ChooseReceiveFile() {
  ChooseFile(Direction::kReceive);
}
void ChooseSendFile() {
  ChooseFile(Direction::kSend);
}

void ViewChosenFile(int mode) {
  DestroyShownViewer();

  // A handle that an earlier verification left open without sharing would refuse the viewer.
  app.openFile.Close();
  char path[kPathWidth];
  CopyText(path, app.openFilePath);
  uint64_t size = 0;
  std::shared_ptr<platform::File> file = OpenForViewing(path, &size);
  app.openFile.Set(file);
  if (!file) {
    ShowOkMessage(LocalText("Niewłaściwy plik", "Invalid file"));
    return;
  }
  if (size == 0) {
    ShowOkMessage(LocalText("Plik pusty", "File empty"));
    return;
  }

  // The viewer reads through a handle of its own, so that a transfer that closes or reopens
  // openFile never pulls the file from under a viewer that is shown. It holds nobody off: the
  // file stays free to be received into, sent on request or verified while it is shown.
  std::shared_ptr<platform::File> own =
      platform::File::Open(path, platform::FileMode::kReadHoldingNobody);
  if (!own) {
    ShowOkMessage(LocalText("Niewłaściwy plik", "Invalid file"));
    return;
  }
  const FrontEndHooks& hooks = ActiveFrontEndHooks();
  if (hooks.openViewer) hooks.openViewer(own, path, mode);
}

void ShowHelpFile() {
  DestroyShownViewer();

  // The help file never takes openFile's place: help is reachable during a transfer, whose file
  // that is.
  uint64_t size = 0;
  std::shared_ptr<platform::File> file = OpenForViewing(app.helpFilePath, &size);
  if (!file || size == 0) {
    ShowOkMessage(LocalText("Nie można otworzyć pliku pomocy", "Can't open help file"));
    return;
  }
  const FrontEndHooks& hooks = ActiveFrontEndHooks();
  if (hooks.openViewer) hooks.openViewer(file, "Pomoc", 0);
}
