#include "ui_probe.h"

#include <cstdio>
#include <vector>

bool Report::Check(bool ok, const std::wstring& what) {
  ++checks;
  if (!ok) ++failures;
  Print((ok ? L"ok   " : L"FAIL ") + what);
  return ok;
}

bool Report::Equal(const std::wstring& got, const std::wstring& expected,
                   const std::wstring& what) {
  if (got == expected) return Check(true, what);
  return Check(false, what + L": got \"" + got + L"\", expected \"" + expected + L"\"");
}

bool Report::Equal(long long got, long long expected, const std::wstring& what) {
  if (got == expected) return Check(true, what);
  return Check(
      false, what + L": got " + std::to_wstring(got) + L", expected " + std::to_wstring(expected));
}

void Print(const std::wstring& line) {
  const std::string bytes = ToUtf8(line) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

bool WaitFor(const std::function<bool()>& condition, DWORD deadlineMs) {
  const ULONGLONG deadline = GetTickCount64() + deadlineMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

bool Program::Start(const std::wstring& exe, const std::wstring& directory) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + exe + L"\"";
  return CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &process) != 0;
}

long long Program::WaitExit(DWORD deadlineMs) {
  if (WaitForSingleObject(process.hProcess, deadlineMs) != WAIT_OBJECT_0) return -1;
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  return status;
}

void Program::Kill() {
  if (process.hProcess && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
}

namespace {

struct Search {
  DWORD processId;
  const wchar_t* className;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  if (search->className && ClassOf(window) != search->className) return TRUE;
  if (search->title && TextOf(window) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter) {
  reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

}  // namespace

HWND FindProgramWindow(DWORD processId, const wchar_t* className, const wchar_t* title) {
  Search search{processId, className, title, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitProgramWindow(DWORD processId, const wchar_t* className, const wchar_t* title) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindProgramWindow(processId, className, title)) != nullptr; });
  return found;
}

bool WaitGone(HWND window) {
  return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

std::wstring TextOf(HWND window) {
  wchar_t buffer[4096];
  const LRESULT length = SendMessageW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0],
                                      reinterpret_cast<LPARAM>(buffer));
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256];
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  for (HWND child : ChildrenOf(box)) {
    if (ClassOf(child) != L"Static") continue;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    std::wstring candidate = TextOf(child);
    if (candidate.size() > text.size()) text = candidate;
  }
  return text;
}

void Click(HWND control) {
  PostMessageW(control, BM_CLICK, 0, 0);
}

void ClickItem(HWND window, int id) {
  Click(GetDlgItem(window, id));
}

void SetTextOf(HWND window, const std::wstring& text) {
  SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsChecked(HWND control) {
  return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool AnswerMessageBox(DWORD processId, const wchar_t* caption, int answer, std::wstring* text) {
  HWND box = WaitProgramWindow(processId, L"#32770", caption);
  if (!box) return false;
  if (text) *text = MessageBoxText(box);
  HWND button = GetDlgItem(box, answer);
  if (!button) return false;
  Click(button);
  return WaitGone(box);
}

bool AnswerFileDialog(DWORD processId, const wchar_t* title, const std::wstring& path) {
  HWND dialog = WaitProgramWindow(processId, L"#32770", title);
  if (!dialog) return false;
  // The name box: a combo box with its edit (cmb13) or a plain edit (edt1).
  HWND name = GetDlgItem(dialog, 0x47c);
  if (name && ClassOf(name) != L"Edit") {
    HWND box = name;
    name = nullptr;
    for (HWND child : ChildrenOf(box)) {
      if (!name && ClassOf(child) == L"Edit") name = child;
    }
  }
  if (!name) name = GetDlgItem(dialog, 0x480);
  if (!name) return false;
  SetTextOf(name, path);
  ClickItem(dialog, IDOK);
  return WaitGone(dialog);
}

RECT ClientRectOf(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::wstring FromCp1250(const char* text) {
  const int count = MultiByteToWideChar(1250, 0, text, -1, nullptr, 0);
  if (count <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(1250, 0, text, -1, &wide[0], count);
  wide.resize(static_cast<size_t>(count) - 1);
  return wide;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], count,
                      nullptr, nullptr);
  return bytes;
}
