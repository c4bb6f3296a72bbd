#include "core/lifecycle.h"

#include "core/app_state.h"
#include "core/paths.h"
#include "platform/files.h"
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
