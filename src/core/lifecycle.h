#pragma once

#include <cstddef>
#include <cstdint>

// Why the program does not start in the directory it was started in.
enum class StartRefusal {
  kNone,
  kUnspellableName,  // the directory's path has a character that Windows-1250 cannot spell
  kPathTooLong,      // its path does not fit in a path field (259 bytes)
  kUnreadable,       // the system cannot tell which directory it is (the code says why)
  kAlreadyRunning,   // another program runs in it
  kCannotClaim,      // it cannot be claimed for this program (the code says why)
};

struct StartUpOutcome {
  StartRefusal refusal = StartRefusal::kNone;
  int code = 0;  // the system error of kUnreadable and kCannotClaim
};

// Start-up before any window exists: the current directory becomes the start directory and is
// claimed for the program's life (one program per start directory), then the help file path and
// the settings. A directory the program cannot hold, or one that another program holds, is
// refused before any file or port is touched: the outcome says why, and `language` is the one
// stored in the directory's settings file, for the front end's message. Every front end ends the
// program on a refusal.
StartUpOutcome RunStartUpSteps();
// The message for a refusal, in the stored language; the front end names the folder with it.
constexpr size_t kRefusalTextWidth = 200;
void FormatStartRefusal(const StartUpOutcome& outcome, char* text, size_t width);
// Gives up the claim on the start directory; the end of the process does it too.
void ReleaseStartDirectory();
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
