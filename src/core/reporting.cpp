#include "core/reporting.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/paths.h"
#include "core/report_lines.h"
#include "core/text_field.h"
#include "platform/files.h"
#include "platform/system.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

constexpr const char kLogFileName[] = "log.txt";
constexpr uint64_t kLogSizeLimit = 500000;
constexpr char kLogSeparator[] = "--------------------------------------\r\n";
static_assert(sizeof kLogSeparator - 1 == 40, "the separator is 38 hyphens and CR LF");

// Guards the comparison and the copy of lastErrorText, which belong together. Never held across a
// surface call: a worker's surface call waits for the window thread, which may be reporting too.
std::mutex lastErrorLock;

// Ends a line whose time (and code) prefix of `prefixLength` characters is already in `line`:
// the text, cut to what is left of the buffer, then CR LF and the terminator.
size_t FinishLine(int prefixLength, const char* text, char (&line)[kReportLineSize]) {
  constexpr size_t kEnding = 3;  // CR, LF, terminator
  size_t used = std::min(static_cast<size_t>(std::max(prefixLength, 0)), kReportLineSize - kEnding);
  const size_t room = kReportLineSize - kEnding - used;
  for (size_t i = 0; text && i < room && text[i] != 0; ++i) line[used++] = text[i];
  line[used++] = '\r';
  line[used++] = '\n';
  line[used] = 0;
  return used;
}

// Two resets may flush at once (an engine's own end and the user's Stop): the second waits for
// the first instead of finding the log held and reporting it as unopenable. Never held across a
// surface call.
std::mutex logFileLock;

// Appends the block and its separator to the log, starting the log anew when it has grown past
// its limit. False when the log cannot be opened; write errors are ignored.
bool AppendToLog(const std::string& block) {
  char path[kPathWidth + sizeof kLogFileName];
  if (!JoinPath(path, app.startDirectory, kLogFileName)) return false;
  std::lock_guard<std::mutex> hold(logFileLock);
  std::shared_ptr<platform::File> log =
      platform::File::Open(path, platform::FileMode::kWriteOpenAlways);
  uint64_t size = 0;
  if (log && log->Size(&size) && size > kLogSizeLimit) {
    log->Close();
    platform::DeleteFilePath(path);
    log = platform::File::Open(path, platform::FileMode::kWriteOpenAlways);
  }
  if (!log) return false;
  uint32_t done = 0;
  log->SeekToEnd();
  log->Write(block.data(), static_cast<uint32_t>(block.size()), &done);
  log->Write(kLogSeparator, sizeof kLogSeparator - 1, &done);
  log->Close();
  return true;
}

std::mutex logObserverLock;
std::function<void(const std::string&)> logBlockObserver;

void TellLogBlock(const std::string& block) {
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard<std::mutex> hold(logObserverLock);
    observer = logBlockObserver;
  }
  if (observer) observer(block);
}

void ForgetLastError() {
  std::lock_guard<std::mutex> hold(lastErrorLock);
  std::memset(app.lastErrorText, 0, sizeof app.lastErrorText);
}

}  // namespace

size_t FormatFailureLine(int hour, int minute, int second, int code, const char* text,
                         char (&line)[kReportLineSize]) {
  int prefix =
      std::snprintf(line, sizeof line, "%02d:%02d:%02d  (C:%d) ", hour, minute, second, code);
  return FinishLine(prefix, text, line);
}

size_t FormatEventLine(int hour, int minute, int second, const char* name,
                       char (&line)[kReportLineSize]) {
  int prefix = std::snprintf(line, sizeof line, "%02d:%02d:%02d  ", hour, minute, second);
  return FinishLine(prefix, name, line);
}

void ErrorReporter(const char* text) {
  const int code = platform::LastSystemError();
  if (!text) text = "";

  {
    // A text longer than lastErrorText is remembered, and compared, as far as it fits.
    char kept[sizeof app.lastErrorText];
    CopyText(kept, text);
    std::lock_guard<std::mutex> hold(lastErrorLock);
    if (std::strcmp(kept, app.lastErrorText) == 0) return;
    std::memcpy(app.lastErrorText, kept, sizeof kept);
  }

  // Without a main window the surface calls below reach nothing: only lastErrorText has changed.
  SetControlText(LastErrorSourceField, text);
  char codeText[48];
  std::snprintf(codeText, sizeof codeText, "%s%d", LocalText("Kod błędu: ", "Error code: "), code);
  SetControlText(LastErrorCodeField, codeText);

  const platform::TimeOfDay now = platform::LocalTimeOfDay();
  char line[kReportLineSize];
  FormatFailureLine(now.hour, now.minute, now.second, code, text, line);
  AppendControlText(ErrorsBox, line);
}

void EventReporter(const char* name) {
  const platform::TimeOfDay now = platform::LocalTimeOfDay();
  char line[kReportLineSize];
  FormatEventLine(now.hour, now.minute, now.second, name, line);
  AppendControlText(ErrorsBox, line);
}

void FlushErrorLog(int skipWhileListening) {
  // One reading of the box serves both the emptiness check and the block written.
  const std::string box = GetControlText(ErrorsBox);
  if (box.empty()) return;
  if (skipWhileListening == 1 && app.listenMode.load() != 0) return;

  if (!AppendToLog(box)) {
    ErrorReporter(LocalText("otwieranie pliku logów", "opening logs file"));
    return;
  }
  ForgetLastError();
  TellLogBlock(box);
}

void SetLogBlockObserver(std::function<void(const std::string& block)> observer) {
  std::lock_guard<std::mutex> hold(logObserverLock);
  logBlockObserver = std::move(observer);
}

void ClearErrorsShown() {
  ForgetLastError();
  SetControlText(LastErrorSourceField, "");
  SetControlText(LastErrorCodeField, "");
  SetControlText(ErrorsBox, "");
}
