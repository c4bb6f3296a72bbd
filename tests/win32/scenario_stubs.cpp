#include "scenarios.h"
namespace {
BOOL CALLBACK Dump(HWND w, LPARAM depth) {
  RECT r{}; GetWindowRect(w, &r);
  Print(std::wstring(depth * 2, L' ') + ClassOf(w) + L" id=" + std::to_wstring(GetDlgCtrlID(w)) + L" \"" + TextOf(w) + L"\" vis=" + std::to_wstring(IsWindowVisible(w)));
  return TRUE;
}
BOOL CALLBACK Top(HWND w, LPARAM pid) {
  DWORD owner = 0; GetWindowThreadProcessId(w, &owner);
  if (owner != static_cast<DWORD>(pid)) return TRUE;
  Dump(w, 0);
  EnumChildWindows(w, Dump, 1);
  return TRUE;
}
}
void RunSettingsScenario(const ScenarioPlace& place, Report*) {
  Program p; p.Start(place.exe, place.directory);
  HWND main = WaitMainWindow(p);
  ClickItem(main, 1050);
  Sleep(3000);
  EnumWindows(Top, p.process.dwProcessId);
  p.Kill();
}
void RunViewerScenario(const ScenarioPlace&, Report*) {}
