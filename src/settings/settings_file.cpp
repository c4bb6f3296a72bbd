#include "settings/settings_file.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/paths.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "platform/files.h"
#include "platform/system.h"
#include "settings/port_dcb.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

// The new settings are written under this suffix first.
constexpr char kNewFileSuffix[] = ".new";

// Offsets of the file: the two port texts, the 12-byte option block, the directory and the three
// command names, with no padding.
constexpr size_t kPortNameAt = 0;
constexpr size_t kBaudTextAt = kPortNameAt + kPortNameWidth;
constexpr size_t kOptionBlockAt = kBaudTextAt + kBaudTextWidth;
constexpr size_t kOptionBlockSize = 12;
constexpr size_t kWorkingDirectoryAt = kOptionBlockAt + kOptionBlockSize;
constexpr size_t kSendFileCommandAt = kWorkingDirectoryAt + kPathWidth;
constexpr size_t kChangeDirCommandAt = kSendFileCommandAt + kCommandNameWidth;
constexpr size_t kSendDirCommandAt = kChangeDirCommandAt + kCommandNameWidth;
static_assert(kSendDirCommandAt + kCommandNameWidth == kSettingsFileSize, "347 bytes");
// The language is the tenth byte of the option block.
constexpr size_t kLanguageAt = kOptionBlockAt + 9;

using Image = uint8_t[kSettingsFileSize];

// The option block's bytes, in the order of the file.
uint8_t PortSettings::*const kOptionFields[kOptionBlockSize] = {
    &PortSettings::parityIndex,    &PortSettings::byteSizeIndex, &PortSettings::stopBitsIndex,
    &PortSettings::ctsFlow,        &PortSettings::rtsControl,    &PortSettings::dtrControl,
    &PortSettings::dsrSensitivity, &PortSettings::dsrFlow,       &PortSettings::xonXoff,
    &PortSettings::language,       &PortSettings::replyDelay,    &PortSettings::chgdirConfirm};

// A text field as stored; one without a terminator within its width is cut at its width.
template <size_t N>
void LoadText(char (&field)[N], const Image& image, size_t at) {
  std::memcpy(field, image + at, N);
  if (!std::memchr(field, 0, N)) field[N - 1] = 0;
}

void LoadImage(const Image& image) {
  // The port name alone may fill its five bytes ("COM10" to "COM99"): its end is the field's end.
  std::memcpy(app.portName, image + kPortNameAt, kPortNameWidth);
  LoadText(app.baudText, image, kBaudTextAt);
  for (size_t i = 0; i < kOptionBlockSize; ++i) app.*kOptionFields[i] = image[kOptionBlockAt + i];
  LoadText(app.workingDirectory, image, kWorkingDirectoryAt);
  LoadText(app.sendFileCommand, image, kSendFileCommandAt);
  LoadText(app.changeDirCommand, image, kChangeDirCommandAt);
  LoadText(app.sendDirCommand, image, kSendDirCommandAt);
}

void SaveImage(Image& image) {
  std::memset(image, 0, sizeof image);
  std::memcpy(image + kPortNameAt, app.portName, kPortNameWidth);
  std::memcpy(image + kBaudTextAt, app.baudText, kBaudTextWidth);
  for (size_t i = 0; i < kOptionBlockSize; ++i) image[kOptionBlockAt + i] = app.*kOptionFields[i];
  // The directory up to its terminator; the rest of its block stays zero.
  std::memcpy(image + kWorkingDirectoryAt, app.workingDirectory,
              FieldLength(app.workingDirectory, kPathWidth));
  std::memcpy(image + kSendFileCommandAt, app.sendFileCommand, kCommandNameWidth);
  std::memcpy(image + kChangeDirCommandAt, app.changeDirCommand, kCommandNameWidth);
  std::memcpy(image + kSendDirCommandAt, app.sendDirCommand, kCommandNameWidth);
}

void SetDefaultPortSettings() {
  CopyText(app.portName, "COM1");
  CopyText(app.baudText, "9600");
  app.parityIndex = 2;    // none
  app.byteSizeIndex = 4;  // 8 data bits
  app.stopBitsIndex = 0;  // one
  app.ctsFlow = 0;
  app.rtsControl = 0;
  app.dtrControl = 0;
  app.dsrSensitivity = 0;
  app.dsrFlow = 0;
  app.xonXoff = 0;
}

// The file of that name in the start directory; null when it cannot be opened (or its path is
// longer than any the program handles).
std::shared_ptr<platform::File> OpenInStartDirectory(const char* fileName,
                                                     platform::FileMode mode) {
  char path[2 * kPathWidth];
  if (!JoinPath(path, app.startDirectory, fileName)) return nullptr;
  return platform::File::Open(path, mode);
}

}  // namespace

int LoadSettings(const char* fileName) {
  // The whole file is read at once: one shorter than its layout counts as missing, so that no
  // field is taken from past its end.
  bool read = false;
  if (std::shared_ptr<platform::File> file =
          OpenInStartDirectory(fileName, platform::FileMode::kReadExclusive)) {
    Image image;
    uint32_t done = 0;
    read = file->Read(image, sizeof image, &done) && done == sizeof image;
    file->Close();
    if (read) LoadImage(image);
  }

  if (read) {
    if (!platform::SetCurrentDir(app.workingDirectory))
      CopyText(app.workingDirectory, app.startDirectory);
    if (app.language != 0 && app.language != 1) app.language = 0;
    if (BuildPortDcb()) return 1;
  }

  ErrorReporter(LocalText("plik z ustawieniami", "settings file"));
  SetDefaultPortSettings();
  if (!BuildPortDcb()) ErrorReporter("building DCB");
  return 0;
}

int SaveSettings(const char* fileName) {
  // Without a main window there is no number to read, and the delay becomes 0. While the reply
  // countdown runs, the field shows the seconds left, not the delay: closing then keeps the delay.
  if (!ReplyTimerRunning()) {
    app.replyDelay = static_cast<uint8_t>(GetControlNumber(DelayField) & 0xFFu);
  }

  // The new settings are written beside the old ones and take their place only when whole, so that
  // a full disk keeps the settings that were there instead of leaving an empty file.
  char path[2 * kPathWidth];
  char newPath[2 * kPathWidth + sizeof kNewFileSuffix];
  const char* failure = LocalText("otwieranie pliku z ustawieniami", "opening settings file");
  if (!JoinPath(path, app.startDirectory, fileName)) {
    ErrorReporter(failure);
    return 1;
  }
  CopyText(newPath, path);
  AppendText(newPath, kNewFileSuffix);
  std::shared_ptr<platform::File> file =
      platform::File::Open(newPath, platform::FileMode::kWriteCreate);
  if (!file) {
    ErrorReporter(failure);
    return 1;
  }
  Image image;
  SaveImage(image);
  uint32_t done = 0;
  const bool written = file->Write(image, sizeof image, &done) && done == sizeof image;
  int code = platform::LastSystemError();
  file->Close();
  if (written && platform::ReplaceFile(newPath, path)) return 1;
  if (written) code = platform::LastSystemError();
  platform::DeleteFilePath(newPath);
  platform::SetLastSystemError(code);
  ErrorReporter(failure);
  return 1;
}

uint8_t ReadStoredLanguage(const char* path) {
  std::shared_ptr<platform::File> file =
      platform::File::Open(path, platform::FileMode::kReadHoldingNobody);
  if (!file) return 0;
  Image image;
  uint32_t done = 0;
  const bool read = file->Read(image, sizeof image, &done) && done == sizeof image;
  file->Close();
  return read && image[kLanguageAt] == 1 ? 1 : 0;
}
