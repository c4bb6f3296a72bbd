#pragma once

#include <string>

#include "ui_probe.h"

// Where a scenario runs: the program, a start directory of its own and, for the serial ones, the
// peer's files.
struct ScenarioPlace {
  std::wstring exe;
  std::wstring directory;
  std::wstring extra;
};

constexpr const wchar_t* kMainCaption = L"VELTRA - komunikacja RS232";

// The main window of a started program, or null.
HWND WaitMainWindow(const Program& program);
// Closes the program through the close box and Yes; its exit status, or -1.
long long CloseProgram(const Program& program, HWND main, Report* report);
// The size of a file, or -1.
long long FileSizeOf(const std::wstring& path);

void RunStartScenario(const ScenarioPlace& place, Report* report);
void RunSettingsScenario(const ScenarioPlace& place, Report* report);
void RunViewerScenario(const ScenarioPlace& place, Report* report);
void RunSerialScenario(const ScenarioPlace& place, Report* report);
void RunInstalledScenario(const ScenarioPlace& place, Report* report);
void RunScreenshots(const ScenarioPlace& place, Report* report);
void RunInstallerScreenshot(const ScenarioPlace& place, Report* report);
