// tazo_win_driver <scenario> <tazo.exe> <start directory> [extra]: runs one scenario against the
// real program and prints one line per check; the exit status is the number of failed checks.
#include <cstring>

#include "scenarios.h"

HWND WaitMainWindow(const Program& program) {
  return WaitProgramWindow(program.process.dwProcessId, L"#32770", kMainCaption);
}

long long CloseProgram(const Program& program, HWND main, Report* report) {
  PostMessageW(main, WM_CLOSE, 0, 0);
  std::wstring text;
  report->Check(AnswerMessageBox(program.process.dwProcessId, L"Wyjście", IDYES, &text) ||
                    AnswerMessageBox(program.process.dwProcessId, L"Quit", IDYES, &text),
                L"the close is confirmed with Yes");
  return const_cast<Program&>(program).WaitExit();
}

long long FileSizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    Print(
        L"usage: tazo_win_driver start|settings|viewer|serial <tazo.exe>|installed <tazo.lnk> "
        L"<directory> [extra]");
    return 100;
  }
  ScenarioPlace place{argv[2], argv[3], argc > 4 ? argv[4] : L""};
  Report report;
  const std::wstring scenario = argv[1];
  if (scenario == L"start") {
    RunStartScenario(place, &report);
  } else if (scenario == L"settings") {
    RunSettingsScenario(place, &report);
  } else if (scenario == L"viewer") {
    RunViewerScenario(place, &report);
  } else if (scenario == L"serial") {
    RunSerialScenario(place, &report);
  } else if (scenario == L"installed") {
    RunInstalledScenario(place, &report);
  } else if (scenario == L"screenshots") {
    RunScreenshots(place, &report);
  } else if (scenario == L"installer-screenshot") {
    RunInstallerScreenshot(place, &report);
  } else {
    Print(L"unknown scenario " + scenario);
    return 100;
  }
  Print(scenario + L": " + std::to_wstring(report.checks - report.failures) + L" of " +
        std::to_wstring(report.checks) + L" checks passed");
  return report.failures;
}
