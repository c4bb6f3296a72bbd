#include "core/lifecycle.h"

#include <cstdio>
#include <memory>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/paths.h"
#include "core/text_field.h"
#include "platform/directory_claim.h"
#include "platform/files.h"
#include "platform/system.h"
#include "settings/settings_file.h"

namespace {

// Held from start-up to the end of the process (or to the next start-up in it).
std::unique_ptr<platform::DirectoryClaim> startDirectoryClaim;

StartUpOutcome Refuse(StartRefusal refusal, int code) {
  // The settings file is only read, and only for the language of the message; the current
  // directory is still the start directory here, so its name is enough.
  app.startDirectory[0] = 0;
  app.language = ReadStoredLanguage(kSettingsFileName);
  return StartUpOutcome{refusal, code};
}

}  // namespace

StartUpOutcome RunStartUpSteps() {
  ReleaseStartDirectory();
  // Without a start directory of its own the program would take "/" or the wrong folder's files
  // and ports: it does not start.
  switch (platform::ReadCurrentDir(app.startDirectory, sizeof app.startDirectory)) {
    case platform::CurrentDirStatus::kRead:
      break;
    case platform::CurrentDirStatus::kUnspellable:
      return Refuse(StartRefusal::kUnspellableName, 0);
    case platform::CurrentDirStatus::kTooLong:
      return Refuse(StartRefusal::kPathTooLong, 0);
    case platform::CurrentDirStatus::kFailed:
      return Refuse(StartRefusal::kUnreadable, platform::LastSystemError());
  }
  switch (platform::DirectoryClaim::ClaimCurrentDirectory(&startDirectoryClaim)) {
    case platform::DirectoryClaim::Result::kClaimed:
      break;
    case platform::DirectoryClaim::Result::kHeldElsewhere:
      return Refuse(StartRefusal::kAlreadyRunning, 0);
    case platform::DirectoryClaim::Result::kFailed:
      return Refuse(StartRefusal::kCannotClaim, platform::LastSystemError());
  }
  JoinPath(app.helpFilePath, app.startDirectory, "pomoc.txt");
  LoadSettings(kSettingsFileName);
  return StartUpOutcome{};
}

void FormatStartRefusal(const StartUpOutcome& outcome, char* text, size_t width) {
  const char* reason = "";
  switch (outcome.refusal) {
    case StartRefusal::kNone:
      break;
    case StartRefusal::kUnspellableName:
      reason = LocalText(
          "Program nie może pracować w tym katalogu, bo jego nazwa ma znaki spoza Windows-1250",
          "The program cannot work in this folder because its name has characters outside "
          "Windows-1250");
      break;
    case StartRefusal::kPathTooLong:
      reason = LocalText(
          "Program nie może pracować w tym katalogu, bo jego ścieżka ma ponad 259 bajtów",
          "The program cannot work in this folder because its path is longer than 259 bytes");
      break;
    case StartRefusal::kUnreadable:
      reason = LocalText("Program nie może pracować w tym katalogu, bo nie da się go odczytać",
                         "The program cannot work in this folder because it cannot be read");
      break;
    case StartRefusal::kAlreadyRunning:
      reason = LocalText("Program już działa w tym katalogu",
                         "The program is already running in this folder");
      break;
    case StartRefusal::kCannotClaim:
      reason = LocalText("Program nie może zająć tego katalogu na wyłączność",
                         "The program cannot reserve this folder for itself");
      break;
  }
  CopyIntoField(text, width, reason);
  if (outcome.refusal == StartRefusal::kUnreadable ||
      outcome.refusal == StartRefusal::kCannotClaim) {
    char code[24];
    std::snprintf(code, sizeof code, " (C:%d)", outcome.code);
    AppendToField(text, width, code);
  }
}

void ReleaseStartDirectory() {
  startDirectoryClaim.reset();
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
