#include <windows.h>

#include <commdlg.h>

#include <cstring>
#include <string>

#include "core/app_state.h"
#include "core/local_text.h"
#include "frontend/win32/win32_windows.h"
#include "frontend/win32/window_surface.h"
#include "platform/win32/wide_text.h"
#include "ui/control_ids.h"
#include "ui/front_end_hooks.h"
#include "ui/main_window.h"

// The surface over the main dialog; main_entry.cpp owns it.
extern WindowSurface mainSurface;

namespace {

// The system file dialog: no owner, no filter, in the current directory. On success the name
// without directory is in `name`, and the dialog has made the file's folder current.
bool ChooseFile(bool save, const char* title, char* name, size_t width) {
  wchar_t current[MAX_PATH + 1] = L"";
  GetCurrentDirectoryW(MAX_PATH + 1, current);
  const std::wstring wideTitle = platform::Cp1250ToWide(title);
  wchar_t path[MAX_PATH + 1] = L"";
  wchar_t chosenName[MAX_PATH + 1] = L"";

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = nullptr;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH + 1;
  dialog.lpstrFileTitle = chosenName;
  dialog.nMaxFileTitle = MAX_PATH + 1;
  dialog.lpstrInitialDir = current;
  dialog.lpstrTitle = wideTitle.c_str();
  dialog.Flags = save ? OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT
                      : OFN_READONLY | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
  const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  if (!chosen) return false;
  // Windows makes the chosen file's folder current (the dialog is not told to keep the directory);
  // Wine leaves it, so the folder is made current here in any case.
  if (dialog.nFileOffset > 0 && dialog.nFileOffset < MAX_PATH) {
    std::wstring folder(path, dialog.nFileOffset);
    if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    SetCurrentDirectoryW(folder.c_str());
  }
  // A name that Windows-1250 cannot spell comes out with "?" and is refused when opened.
  const std::string narrow = platform::WideToCp1250Lossy(chosenName, std::wcslen(chosenName));
  std::memset(name, 0, width);
  std::strncpy(name, narrow.c_str(), width - 1);
  return true;
}

FrontEndHooks Win32Hooks(HWND dialog) {
  FrontEndHooks hooks;
  hooks.chooseReceiveFile = [](const char* title, char* name, size_t width) {
    return ChooseFile(true, title, name, width);
  };
  hooks.chooseSendFile = [](const char* title, char* name, size_t width) {
    return ChooseFile(false, title, name, width);
  };
  hooks.showMessage = [dialog](const char* text, const char* caption, MessageBoxButtons buttons) {
    const int answer = ShowMessageBox(dialog, text, caption,
                                      buttons == MessageBoxButtons::kYesNo ? MB_YESNO : MB_OK);
    if (answer == IDYES) return MessageBoxAnswer::kYes;
    if (answer == IDNO) return MessageBoxAnswer::kNo;
    return MessageBoxAnswer::kOk;
  };
  hooks.showSettingsDialog = [] {
    DialogBoxParamW(programInstance, MAKEINTRESOURCEW(103), nullptr, SettingsDialogProc, 0);
  };
  hooks.openViewer = [dialog](std::shared_ptr<platform::File> file, const char* title, int mode) {
    OpenFileViewer(dialog, std::move(file), title, mode);
  };
  hooks.destroyViewer = [] {
    HWND viewer = static_cast<HWND>(app.viewerWindow);
    if (viewer && IsWindow(viewer)) DestroyWindow(viewer);
    app.viewerWindow = nullptr;
  };
  hooks.startAnimationTimer = [dialog](int periodMs) {
    return SetTimer(dialog, kAnimationTimerId, static_cast<UINT>(periodMs), nullptr) != 0
               ? kAnimationTimerId
               : 0;
  };
  hooks.destroyMainWindow = [dialog] { DestroyWindow(dialog); };
  hooks.quitEventLoop = [] { PostQuitMessage(0); };
  return hooks;
}

}  // namespace

void NameStartStopButton() {
  HWND mainWindow = mainSurface.Dialog();
  if (!mainWindow) return;
  const std::wstring name = platform::Cp1250ToWide(
      LocalText("Rozpocznij/zatrzymaj transmisję", "Start/stop transmission"));
  SetDlgItemTextW(mainWindow, StartStopButton, name.c_str());
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // The logic works on the surface of the window it is given, before creation returns.
      mainSurface.Attach(dialog);
      app.mainWindow = &mainSurface;
      SetFrontEndHooks(Win32Hooks(dialog));
      // Every line of a long verification is kept.
      SendDlgItemMessageW(dialog, ErrorsBox, EM_SETLIMITTEXT, 0, 0);
      InitMainWindow();
      NameStartStopButton();
      return TRUE;
    case WindowSurface::kRunOnWindowMessage:
      WindowSurface::RunSentCall(lParam);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) HandleMainWindowCommand(LOWORD(wParam));
      return TRUE;
    case WM_TIMER:
      HandleMainWindowTimer(static_cast<int>(wParam));
      return TRUE;
    case WM_HELP:
      ShowContextHelp(FindMainWindowHelp(HelpRequestControl(lParam)), dialog);
      return TRUE;
    case WM_CLOSE:
      HandleMainWindowClose();
      return TRUE;
    case WM_DESTROY:
      HandleMainWindowDestroy();
      // From here on what engines still do reaches no control.
      mainSurface.Detach();
      return TRUE;
    default:
      return FALSE;
  }
}
