#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Drives the real tazo.exe from outside, as a user would: finds its windows, clicks, types, reads
// texts and states, answers message boxes and file dialogs. Every wait polls a condition until a
// generous deadline.

// Reports of one scenario: each check prints a line; the scenario fails when one check failed.
struct Report {
  int failures = 0;
  int checks = 0;
  bool Check(bool ok, const std::wstring& what);
  bool Equal(const std::wstring& got, const std::wstring& expected, const std::wstring& what);
  bool Equal(long long got, long long expected, const std::wstring& what);
};
void Print(const std::wstring& line);

constexpr DWORD kDeadlineMs = 20000;
bool WaitFor(const std::function<bool()>& condition, DWORD deadlineMs = kDeadlineMs);

// The running program.
struct Program {
  PROCESS_INFORMATION process{};
  bool Start(const std::wstring& exe, const std::wstring& directory);
  // Waits for the end; the exit status, or -1 when it did not end in time.
  long long WaitExit(DWORD deadlineMs = kDeadlineMs);
  void Kill();
};

// A top-level window of the process by class and title (null title: any).
HWND FindProgramWindow(DWORD processId, const wchar_t* className, const wchar_t* title);
HWND WaitProgramWindow(DWORD processId, const wchar_t* className, const wchar_t* title);
bool WaitGone(HWND window);

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);
// The text of the message box: its static that is not an icon.
std::wstring MessageBoxText(HWND box);

void Click(HWND control);
// Clicks button `id` of the window, as the user would.
void ClickItem(HWND window, int id);
void SetTextOf(HWND window, const std::wstring& text);
bool IsChecked(HWND control);

// Answers the program's message box of this caption with button `answer` (IDOK, IDYES, IDNO);
// the text it showed is returned in `text`. False when no such box appeared.
bool AnswerMessageBox(DWORD processId, const wchar_t* caption, int answer, std::wstring* text);
// Chooses `path` in the file dialog of this title.
bool AnswerFileDialog(DWORD processId, const wchar_t* title, const std::wstring& path);

// The control's rectangle in its parent's client area, in pixels.
RECT ClientRectOf(HWND control);

// UTF-8 and Windows-1250 conversions for the report and the program's own texts.
std::wstring FromCp1250(const char* text);
std::string ToUtf8(const std::wstring& text);
