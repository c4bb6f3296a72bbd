// A start without "tazo.ini": every control of the main window, the defaults, the Polish labels,
// then a second start with language 1 and its English labels, and the close.
#include <windows.h>

#include <commctrl.h>

#include <cmath>
#include <cstddef>
#include <fstream>
#include <vector>

#include "core/app_state.h"
#include "scenarios.h"

namespace {

struct Expected {
  int id;
  const wchar_t* className;
  int x, y, width, height;  // dialog units
  DWORD styleMask, style;
  const wchar_t* polish;   // after start-up; null: not a label
  const wchar_t* english;  // with language 1
};

constexpr DWORD kType = BS_TYPEMASK;
constexpr DWORD kPushLike = BS_TYPEMASK | BS_PUSHLIKE;

const Expected kControls[] = {
    {1049, L"Button", 115, 5, 65, 14, kType, BS_PUSHBUTTON, L"Odbieranie pliku", L"Receive file"},
    {1050, L"Button", 115, 20, 65, 15, kType, BS_PUSHBUTTON, L"Wysyłanie pliku", L"Send file"},
    {1051, L"Button", 190, 295, 105, 25, kType, BS_PUSHBUTTON, L"Wyjście", L"Exit"},
    {1052, L"Button", 10, 280, 130, 14, kType, BS_PUSHBUTTON, L"Ustawienia", L"Settings"},
    {1057, L"Edit", 280, 50, 15, 14, ES_NUMBER | ES_READONLY, ES_NUMBER, L"0", L"0"},
    {1060, L"Edit", 10, 60, 55, 14, ES_READONLY, ES_READONLY, L"", L""},
    {1061, L"Button", 10, 10, 38, 35, kType | BS_BITMAP, BS_PUSHBUTTON | BS_BITMAP,
     L"Rozpocznij/zatrzymaj transmisję", L"Start/stop transmission"},
    {1062, L"Static", 15, 135, 285, 8, 0, 0, L"", L""},
    {1073, L"Button", 210, 80, 63, 14, kType, BS_PUSHBUTTON, L"Zobacz plik (tekst)", L"View text"},
    {1075, L"msctls_progress32", 10, 80, 110, 10, 0, 0, nullptr, nullptr},
    {1097, L"Static", 70, 11, 35, 32, SS_TYPEMASK, SS_BITMAP, nullptr, nullptr},
    {1102, L"Button", 20, 165, 30, 10, kType, BS_CHECKBOX, L"CTS", L"CTS"},
    {1103, L"Button", 60, 165, 31, 10, kType, BS_CHECKBOX, L"DSR", L"DSR"},
    {1104, L"Button", 20, 185, 34, 10, kType, BS_CHECKBOX, L"RING", L"RING"},
    {1105, L"Button", 60, 185, 35, 10, kType, BS_CHECKBOX, L"RLSD", L"RLSD"},
    {1108, L"Edit", 181, 200, 125, 70, ES_MULTILINE | ES_READONLY | WS_VSCROLL,
     ES_MULTILINE | ES_READONLY | WS_VSCROLL, L"", L""},
    {1109, L"Button", 20, 214, 47, 10, kType, BS_CHECKBOX, L"CTS Hold", L"CTS Hold"},
    {1110, L"Button", 20, 235, 52, 10, kType, BS_CHECKBOX, L"RLSD Hold", L"RLSD Hold"},
    {1111, L"Button", 75, 215, 48, 10, kType, BS_CHECKBOX, L"DSR Hold", L"DSR Hold"},
    {1113, L"Static", 70, 64, 62, 8, 0, 0, L"", L""},
    {1114, L"Button", 135, 80, 63, 14, kType, BS_PUSHBUTTON, L"Zobacz plik (hexa)", L"View hexa"},
    {1115, L"Button", 75, 255, 59, 10, kType, BS_CHECKBOX, L"XOFF Sent", L"XOFF Sent"},
    {1116, L"Button", 20, 255, 50, 10, kType, BS_CHECKBOX, L"XOFF Hold", L"XOFF Hold"},
    {1121, L"Button", 10, 155, 90, 45, kType, BS_GROUPBOX, L"Status modemu", L"Modem status"},
    {1122, L"Button", 10, 205, 130, 65, kType, BS_GROUPBOX, L"Status komunikacji",
     L"Communication status"},
    {1123, L"Button", 175, 155, 135, 130, kType, BS_GROUPBOX, L"Błędy", L"Errors"},
    {1142, L"Button", 215, 5, 85, 30, kPushLike, BS_AUTOCHECKBOX | BS_PUSHLIKE, L"Nasłuch",
     L"Listen"},
    {1144, L"Button", 115, 35, 65, 15, kPushLike, BS_AUTOCHECKBOX | BS_PUSHLIKE, L"Weryfikacja",
     L"Verification"},
    {1147, L"Static", 15, 114, 290, 14, 0, 0, nullptr, nullptr},
    {1148, L"Static", 185, 170, 95, 8, 0, 0, L"", L""},
    {1149, L"Static", 185, 185, 95, 8, 0, 0, L"", L""},
    {1151, L"Button", 10, 98, 300, 52, kType, BS_GROUPBOX, L"Bieżący katalog",
     L"Current directory"},
    {1160, L"Static", 216, 52, 60, 8, WS_DISABLED, WS_DISABLED, L"Czas do wysłania",
     L"Time to send"},
    {1161, L"Button", 215, 40, 85, 30, kType | WS_DISABLED, BS_GROUPBOX | WS_DISABLED, L"Nasłuch",
     L"Listen"},
    {1163, L"Button", 10, 300, 55, 14, kType, BS_PUSHBUTTON, L"Pomoc", L"Help"},
};

// Dialog units to pixels by the dialog's own measure: its client area is 317 by 327 units.
bool SameRectangle(HWND main, HWND control, const Expected& expected, std::wstring* got) {
  RECT client{};
  GetClientRect(main, &client);
  const double perX = client.right / 317.0;
  const double perY = client.bottom / 327.0;
  const RECT rect = ClientRectOf(control);
  auto within = [](double pixels, long actual) { return std::fabs(pixels - actual) <= 1.5; };
  *got = std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L" " +
         std::to_wstring(rect.right - rect.left) + L"x" + std::to_wstring(rect.bottom - rect.top);
  const bool placed = within(expected.x * perX, rect.left) && within(expected.y * perY, rect.top);
  // A bitmap static takes the size of its bitmap.
  if (expected.style == SS_BITMAP) return placed;
  return placed && within(expected.width * perX, rect.right - rect.left) &&
         within(expected.height * perY, rect.bottom - rect.top);
}

void CheckControls(HWND main, bool english, bool shape, Report* report) {
  for (const Expected& expected : kControls) {
    const std::wstring name = L"control " + std::to_wstring(expected.id);
    HWND control = GetDlgItem(main, expected.id);
    if (!report->Check(control != nullptr, name + L" exists")) continue;
    if (shape) {
      report->Equal(ClassOf(control), expected.className, name + L" class");
      const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
      report->Equal(style & expected.styleMask, expected.style, name + L" style");
      std::wstring got;
      const bool same = SameRectangle(main, control, expected, &got);
      report->Check(same, name + L" rectangle " + got);
    }
    const wchar_t* text = english ? expected.english : expected.polish;
    if (text) report->Equal(TextOf(control), text, name + L" text");
  }
}

// A start in `directory` refused with a message box of `text`, and the exit status 2.
void RefusedStart(const ScenarioPlace& place, const std::wstring& directory,
                  const std::wstring& text, Report* report) {
  Program refused;
  if (!report->Check(refused.Start(place.exe, directory), L"tazo.exe starts in " + directory)) {
    return;
  }
  std::wstring shown;
  report->Check(AnswerMessageBox(refused.process.dwProcessId, L"Error", IDOK, &shown),
                L"the refusal is said in a message box");
  report->Equal(shown, text, L"the refusal's text");
  report->Equal(refused.WaitExit(), 2, L"exit status of a refused start");
  refused.Kill();
}

}  // namespace

void RunStartScenario(const ScenarioPlace& place, Report* report) {
  const std::wstring settingsPath = place.directory + L"\\tazo.ini";
  DeleteFileW(settingsPath.c_str());

  Program program;
  if (!report->Check(program.Start(place.exe, place.directory), L"tazo.exe starts")) return;
  HWND main = WaitMainWindow(program);
  if (!report->Check(main != nullptr, L"the main window opens with its caption")) {
    program.Kill();
    return;
  }
  report->Equal(TextOf(main), kMainCaption, L"caption");
  const DWORD style = static_cast<DWORD>(GetWindowLongW(main, GWL_STYLE));
  report->Check((style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE)) ==
                    (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE),
                L"caption, system menu and minimize box");
  CheckControls(main, false, true, report);
  for (int lamp : {1102, 1103, 1104, 1105, 1109, 1110, 1111, 1115, 1116, 1142, 1144}) {
    report->Check(!IsChecked(GetDlgItem(main, lamp)),
                  L"unchecked at start: " + std::to_wstring(lamp));
  }
  report->Equal(SendDlgItemMessageW(main, 1075, PBM_GETPOS, 0, 0), 0, L"progress at 0");
  report->Check(
      !IsWindowEnabled(GetDlgItem(main, 1160)) && !IsWindowEnabled(GetDlgItem(main, 1161)),
      L"the delay is disabled outside listen mode");
  report->Check(SendDlgItemMessageW(main, 1108, EM_GETLIMITTEXT, 0, 0) >= 15 * 1024 * 1024,
                L"ErrorsBox holds a long verification listing");
  // DelayField takes two digits at most.
  report->Equal(SendDlgItemMessageW(main, 1057, EM_GETLIMITTEXT, 0, 0), 2, L"delay limit");

  // No keeps the program running.
  PostMessageW(main, WM_CLOSE, 0, 0);
  std::wstring question;
  report->Check(AnswerMessageBox(program.process.dwProcessId, L"Wyjście", IDNO, &question),
                L"the close asks, No answered");
  report->Equal(question, L"Czy chcesz zamknąć program?", L"the close question");
  report->Check(IsWindow(main) && program.WaitExit(500) == -1, L"No keeps the program running");

  // A second program in the same folder says so and ends, with the settings and the log untouched.
  RefusedStart(place, place.directory, L"Program już działa w tym katalogu:\n" + place.directory,
               report);
  report->Equal(FileSizeOf(settingsPath), -1, L"no tazo.ini from the second program");
  report->Equal(FileSizeOf(place.directory + L"\\log.txt"), -1, L"no log.txt from it");
  // A folder whose name Windows-1250 cannot spell is not one the program can work in.
  const std::wstring cyrillic = place.directory + L"\\Станок1";
  CreateDirectoryW(cyrillic.c_str(), nullptr);
  RefusedStart(place, cyrillic,
               L"Program nie może pracować w tym katalogu, bo jego nazwa ma znaki spoza "
               L"Windows-1250:\n" +
                   cyrillic,
               report);
  report->Equal(FileSizeOf(cyrillic + L"\\tazo.ini"), -1, L"nothing written in that folder");
  RemoveDirectoryW(cyrillic.c_str());

  report->Equal(CloseProgram(program, main, report), 1, L"exit status after Yes");
  report->Equal(FileSizeOf(settingsPath), 347, L"tazo.ini written with 347 bytes");

  // The same directory with language 1.
  std::vector<char> image(347);
  {
    std::ifstream in(settingsPath.c_str(), std::ios::binary);
    in.read(image.data(), 347);
  }
  image[offsetof(PortSettings, language)] = 1;
  {
    std::ofstream out(settingsPath.c_str(), std::ios::binary | std::ios::trunc);
    out.write(image.data(), 347);
  }
  Program english;
  if (!report->Check(english.Start(place.exe, place.directory), L"tazo.exe starts again")) return;
  main = WaitMainWindow(english);
  if (!report->Check(main != nullptr, L"the main window opens in English")) {
    english.Kill();
    return;
  }
  CheckControls(main, true, false, report);
  PostMessageW(main, WM_CLOSE, 0, 0);
  report->Check(AnswerMessageBox(english.process.dwProcessId, L"Quit", IDYES, &question),
                L"the English close asks");
  report->Equal(question, L"Do you want to close application?", L"the English close question");
  report->Equal(english.WaitExit(), 1, L"exit status of the English run");
}
