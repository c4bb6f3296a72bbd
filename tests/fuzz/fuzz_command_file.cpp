// Arbitrary blocks through command-file recognition and argument collection, as the receive engine
// hands them over, with command names taken from the input too.
//
// Input: one mode byte, three name lengths (0 to 21; 21 fills the field without a terminator),
// the three names, then the block.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/app_state.h"
#include "core/text_field.h"
#include "fuzz_checks.h"
#include "listen/command_file.h"
#include "platform/files.h"

namespace {

char homeDirectory[kPathWidth];

// Nothing is ever created in it, so it goes as it came.
void RemoveHomeDirectory() {
  std::remove(homeDirectory);
}

// Fields start full of bytes, so that a missing terminator shows.
template <size_t N>
void Scribble(char (&field)[N], const char* text) {
  std::memset(field, 'Z', N);
  CopyText(field, text);
}

void ExpectSound() {
  int flags = app.sendFileRequested + app.sendDirRequested + app.changeDirRequested;
  Check(flags <= 1, "more than one request flag");
  ExpectTerminated(app.openFilePath, "openFilePath");
  ExpectTerminated(app.workingDirectory, "workingDirectory");
  ExpectTerminated(app.previousDirectory, "previousDirectory");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Directory changes happen inside a fresh directory of our own and are undone after each input.
  char pattern[] = "/tmp/fuzz-command-file-XXXXXX";
  if (!mkdtemp(pattern) || !platform::SetCurrentDir(pattern)) std::abort();
  platform::GetCurrentDir(homeDirectory, sizeof homeDirectory);
  std::atexit(RemoveHomeDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t mode = data[0];
  size_t lengths[3];
  for (int i = 0; i < 3; ++i) lengths[i] = data[1 + i] % (kCommandNameWidth + 1);
  size_t at = 4;
  char(*names[3])[kCommandNameWidth] = {&app.sendFileCommand, &app.sendDirCommand,
                                        &app.changeDirCommand};
  for (int i = 0; i < 3; ++i) {
    std::memset(*names[i], 0, kCommandNameWidth);
    size_t length = lengths[i] < size - at ? lengths[i] : size - at;
    std::memcpy(*names[i], data + at, length);
    at += length;
  }
  const uint8_t* block = data + at;
  const uint32_t length = static_cast<uint32_t>(size - at);

  app.sendFileRequested = (mode >> 1) & 1;
  app.sendDirRequested = 0;
  app.changeDirRequested = 0;
  app.commandCursor = 0;
  app.dirChangeOk = mode & 1;
  Scribble(app.openFilePath, "before.txt");
  Scribble(app.workingDirectory, homeDirectory);
  Scribble(app.previousDirectory, "");

  if (mode & 0x80) {
    // The collection alone, with whatever flag the mode names and no recognition before it.
    app.sendFileRequested = (mode >> 2) & 1;
    app.sendDirRequested = !app.sendFileRequested && ((mode >> 3) & 1);
    app.changeDirRequested = !app.sendFileRequested && !app.sendDirRequested && ((mode >> 4) & 1);
    for (uint32_t i = 0; i < length; ++i) CollectArgumentByte(block[i]);
    CollectArgumentByte(0);
    ExpectSound();
  } else {
    int offset = RecognizeCommandFile(block, length);
    if (offset == 0) {
      Check(app.sendFileRequested == ((mode >> 1) & 1) && !app.sendDirRequested &&
                !app.changeDirRequested,
            "a rejected block changed the flags");
      Check(std::strcmp(app.openFilePath, "before.txt") == 0, "a rejected block changed a field");
    } else {
      Check(offset >= 9 && static_cast<uint32_t>(offset) <= length, "offset outside the block");
      Check(app.sendFileRequested + app.sendDirRequested + app.changeDirRequested == 1,
            "an accepted block sets exactly one flag");
      app.commandCursor = 0;
      bool ended = false;
      for (uint32_t i = static_cast<uint32_t>(offset); i < length && !ended; ++i) {
        ended = CollectArgumentByte(block[i]);
      }
      if (!ended) ended = CollectArgumentByte(0);
      Check(ended, "a NUL ends the argument");
      Check(app.commandNameLength == 0, "commandNameLength cleared at the end");
    }
    ExpectSound();
  }

  char current[4096];
  if (!platform::GetCurrentDir(current, sizeof current) ||
      std::strcmp(current, homeDirectory) != 0) {
    platform::SetCurrentDir(homeDirectory);
  }
  return 0;
}
