#pragma once

#include <cstdint>

// Start-up before any window exists: the start directory, the help file path and the settings.
void RunStartUpSteps();
// Shut-down while the main window still exists: the last temporary file is deleted and the
// settings are saved.
void RunShutDownSteps();
// Deletes the last temporary file, if any, and forgets it once it is gone, so that a later
// deletion never takes another file of the same name. One that is still held elsewhere stays,
// unreported.
void DeleteTempFile();
// After the event loop has ended: waits up to `timeoutMs` for the engine threads to return, so
// that none touches the surface once the front end frees it. False when one still runs; the front
// end then leaves its surface to the process.
bool WaitForEnginesToEnd(uint32_t timeoutMs);
