#pragma once

// Start-up before any window exists: the start directory, the help file path and the settings.
void RunStartUpSteps();
// Shut-down while the main window still exists: the last temporary file is deleted and the
// settings are saved.
void RunShutDownSteps();
