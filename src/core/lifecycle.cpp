#include "core/lifecycle.h"

#include "core/app_state.h"
#include "core/paths.h"
#include "platform/files.h"
#include "platform/system.h"
#include "settings/settings_file.h"

void RunStartUpSteps() {
  if (!platform::GetCurrentDir(app.startDirectory, sizeof app.startDirectory)) {
    app.startDirectory[0] = 0;
  }
  JoinPath(app.helpFilePath, app.startDirectory, "pomoc.txt");
  LoadSettings(kSettingsFileName);
}

void RunShutDownSteps() {
  DeleteTempFile();
  SaveSettings(kSettingsFileName);
}

void DeleteTempFile() {
  if (app.tempFilePath[0] != 0 && platform::DeleteFilePath(app.tempFilePath)) {
    app.tempFilePath[0] = 0;
  }
}

bool WaitForEnginesToEnd(uint32_t timeoutMs) {
  // An engine whose port was closed returns within one pause slice; short polls keep the exit
  // prompt without a signal of its own for the last thread.
  const uint64_t end = platform::MonotonicMilliseconds() + timeoutMs;
  while (platform::RunningDetachedThreads() > 0) {
    if (platform::MonotonicMilliseconds() >= end) return false;
    platform::SleepMilliseconds(5);
  }
  return true;
}
