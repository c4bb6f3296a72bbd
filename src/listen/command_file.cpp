#include "listen/command_file.h"

#include <climits>
#include <cstring>
#include <string>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "platform/files.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kLF = 0x0A;

bool IsBlank(uint8_t byte) {
  return byte == ' ' || byte == '\t';
}
bool EndsArgument(uint8_t byte) {
  return byte == kCR || byte == kLF || byte == 0;
}

// The name matches when it is not empty and the block continues with it; only ASCII letters are
// compared without regard to case, so a Polish letter must be the same byte.
size_t MatchName(const char (&name)[kCommandNameWidth], const uint8_t* text, uint32_t length,
                 size_t at) {
  size_t nameLength = FieldLength(name, kCommandNameWidth);
  if (nameLength == 0 || nameLength > length - at) return 0;
  for (size_t i = 0; i < nameLength; ++i) {
    if (FoldAscii(name[i]) != FoldAscii(static_cast<char>(text[at + i]))) return 0;
  }
  return nameLength;
}

// The field the argument of the recognised command goes to, or null when no command is pending.
char* ArgumentField() {
  if (app.sendFileRequested) return app.openFilePath;
  if (app.sendDirRequested || app.changeDirRequested) return app.workingDirectory;
  return nullptr;
}

// The index at which a terminator may be stored for `cursor`: never past the field.
size_t TerminatorIndex(int cursor) {
  if (cursor < 0) return 0;
  return static_cast<size_t>(cursor) < kPathWidth ? static_cast<size_t>(cursor) : kPathWidth - 1;
}

// An argument that did not fit its field (CollectArgumentByte given more than the field holds).
bool Overflowed() {
  return app.commandCursor > static_cast<int>(kPathWidth - 1);
}

void RefuseDirectoryChange() {
  CopyText(app.workingDirectory, app.previousDirectory);
  app.dirChangeOk = 0;
  ErrorReporter(LocalText("katalog nie zmieniony", "directory not changed"));
}

void ChangeDirectory() {
  if (Overflowed()) {
    RefuseDirectoryChange();
    return;
  }
  app.workingDirectory[TerminatorIndex(app.commandCursor)] = 0;
  // The directory we came from, in full, to return to when the new one cannot be shown in the
  // 260-byte field: the field and the process must keep naming the same directory.
  char before[4096];
  bool knowBefore = platform::GetCurrentDir(before, sizeof before);
  if (!platform::SetCurrentDir(app.workingDirectory)) {
    RefuseDirectoryChange();
    return;
  }
  if (!platform::GetCurrentDir(app.workingDirectory, kPathWidth)) {
    if (knowBefore) platform::SetCurrentDir(before);
    RefuseDirectoryChange();
    return;
  }
  app.dirChangeOk = 1;
  SetControlText(CurrentDirField, app.workingDirectory);
}

}  // namespace

int RecognizeCommandFile(const uint8_t* text, uint32_t length) {
  if (!text || length < 4 || std::memcmp(text, "%MPF", 4) != 0) return 0;
  size_t at = 4;
  for (; at < 7; ++at) {
    if (at >= length || text[at] < '0' || text[at] > '9') return 0;
  }
  while (at < length && IsBlank(text[at])) ++at;
  if (at >= length) return 0;
  if (text[at] == kLF) {
    ++at;
    if (at < length && text[at] == kCR) ++at;
  } else if (text[at] == kCR) {
    ++at;
    if (at < length && text[at] == kLF) ++at;
  } else {
    return 0;
  }
  if (at >= length) return 0;

  size_t nameLength;
  std::atomic<int>* flag;
  if ((nameLength = MatchName(app.sendFileCommand, text, length, at)) != 0) {
    flag = &app.sendFileRequested;
  } else if ((nameLength = MatchName(app.sendDirCommand, text, length, at)) != 0) {
    flag = &app.sendDirRequested;
  } else if ((nameLength = MatchName(app.changeDirCommand, text, length, at)) != 0) {
    flag = &app.changeDirRequested;
  } else {
    return 0;
  }
  size_t argument = at + nameLength;
  while (argument < length && IsBlank(text[argument])) ++argument;

  // An argument longer than its 260-byte field makes the block no command file, decided here
  // before any flag or field changes, so that nothing cut short is opened or entered.
  size_t end = argument;
  while (end < length && !EndsArgument(text[end])) {
    if (end - argument >= kPathWidth - 1) return 0;
    ++end;
  }
  if (argument > static_cast<size_t>(INT_MAX)) return 0;

  app.sendFileRequested = flag == &app.sendFileRequested;
  app.sendDirRequested = flag == &app.sendDirRequested;
  app.changeDirRequested = flag == &app.changeDirRequested;
  app.commandNameLength = static_cast<int>(nameLength);
  CopyIntoField(app.requestCommand, sizeof app.requestCommand,
                std::string(reinterpret_cast<const char*>(text + at), nameLength).c_str());
  app.requestArgument[0] = 0;
  return static_cast<int>(argument);
}

bool CollectArgumentByte(uint8_t byte) {
  if (EndsArgument(byte)) {
    app.requestArgument[TerminatorIndex(app.commandCursor)] = 0;
    if (app.sendFileRequested) {
      // A name cut short would open some other file: an over-long one becomes no name at all,
      // which the reply then answers as a file that cannot be opened.
      if (Overflowed()) {
        app.openFilePath[0] = 0;
      } else {
        app.openFilePath[TerminatorIndex(app.commandCursor)] = 0;
      }
    } else if ((app.sendDirRequested || app.changeDirRequested) && app.commandCursor > 0) {
      ChangeDirectory();
    }
    app.commandNameLength = 0;
    return true;
  }

  if (app.commandCursor == 0) CopyText(app.previousDirectory, app.workingDirectory);
  if (app.commandCursor >= 0 && app.commandCursor < static_cast<int>(kPathWidth - 1)) {
    app.requestArgument[app.commandCursor] = static_cast<char>(byte);
  }
  if (byte == '/' || byte == '\\') byte = static_cast<uint8_t>(platform::kPathSeparator);
  char* field = ArgumentField();
  // Bytes beyond the field are counted, not stored: the terminator is the last byte it holds.
  if (field && app.commandCursor >= 0 && app.commandCursor < static_cast<int>(kPathWidth - 1)) {
    field[app.commandCursor] = static_cast<char>(byte);
  }
  if (app.commandCursor < INT_MAX) ++app.commandCursor;
  return false;
}
