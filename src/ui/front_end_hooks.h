#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/files.h"

// What the main window's portable handlers ask of the front end that shows them: the system
// dialogs, message boxes, the other windows and the end of the main window. Each front end fills
// these in once before the main window is initialised; a hook left empty does nothing (a dialog is
// cancelled, a message box answers its first button).

enum class MessageBoxButtons { kOk, kYesNo };
enum class MessageBoxAnswer { kOk, kYes, kNo };

struct FrontEndHooks {
  // The save-file (receive) and open-file (send) dialogs, opened in the current directory with
  // `dialogTitle`. On success the chosen file's name without directory is in `name` (`width`
  // bytes with the terminator) and the current directory is the chosen file's folder; false when
  // the user cancelled.
  std::function<bool(const char* dialogTitle, char* name, size_t width)> chooseReceiveFile;
  std::function<bool(const char* dialogTitle, char* name, size_t width)> chooseSendFile;

  // A message box owned by the main window; a null caption gives the toolkit's default caption.
  std::function<MessageBoxAnswer(const char* text, const char* caption, MessageBoxButtons buttons)>
      showMessage;

  // The settings dialog, modal, with no owner.
  std::function<void()> showSettingsDialog;

  // The file viewer on a file handle of its own (mode 0 text, 1 hex), and its end.
  std::function<void(std::shared_ptr<platform::File> file, const char* title, int mode)> openViewer;
  std::function<void()> destroyViewer;

  // Timer 1 of the main window (the animation); returns its identifier.
  std::function<int(int periodMs)> startAnimationTimer;

  // Destroys the main window (its destroy handler then runs) and, from that handler, ends the
  // event loop.
  std::function<void()> destroyMainWindow;
  std::function<void()> quitEventLoop;
};

// The hooks in use; the front end sets them before InitMainWindow. Not for worker threads.
void SetFrontEndHooks(const FrontEndHooks& hooks);
const FrontEndHooks& ActiveFrontEndHooks();
