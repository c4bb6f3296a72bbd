#pragma once

#include <windows.h>

#include <memory>

#include "platform/files.h"
#include "ui/context_help.h"

// The windows of the Windows program and what they share.

// The program's instance, set first thing at start-up.
extern HINSTANCE programInstance;

// The main window (template 106) and the settings dialog (template 103).
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The Start/Stop button shows only a picture; its text is what a screen reader announces, so it
// follows the language (at start and after every Apply).
void NameStartStopButton();

// The file viewer ("MemWnd"): its window procedure and the opening of one, owned by `owner`.
LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void OpenFileViewer(HWND owner, std::shared_ptr<platform::File> file, const char* title, int mode);

// The help text of `entry` from the string table in a message box owned by `owner`. Answers a
// WM_HELP request; a control without an entry shows nothing.
void ShowContextHelp(const HelpEntry* entry, HWND owner);
// The control a WM_HELP request names, or 0.
int HelpRequestControl(LPARAM lParam);

// Windows-1250 text shown in a message box with the system's default caption when `caption` is
// null.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT buttons);
