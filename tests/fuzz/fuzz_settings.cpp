// Arbitrary settings files through loading and saving, and arbitrary edits through the settings
// dialog's Apply.
//
// Input: up to 347 bytes of settings file (a shorter input is a short file), then edits of the
// dialog, each a kind byte, a control byte, a length byte and that many bytes of text.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/app_state.h"
#include "core/text_field.h"
#include "fuzz_checks.h"
#include "platform/files.h"
#include "settings/settings_dialog.h"
#include "settings/settings_file.h"

namespace {

char homeDirectory[kPathWidth];
std::string settingsPath;

void RemoveHomeDirectory() {
  std::remove(settingsPath.c_str());
  std::remove((settingsPath + ".new").c_str());
  std::remove(homeDirectory);
}

void ExpectFieldsSound() {
  // The port name alone may fill its field ("COM12"); it is read up to its width.
  ExpectTerminated(app.baudText, "baudText");
  ExpectTerminated(app.workingDirectory, "workingDirectory");
  ExpectTerminated(app.sendFileCommand, "sendFileCommand");
  ExpectTerminated(app.changeDirCommand, "changeDirCommand");
  ExpectTerminated(app.sendDirCommand, "sendDirCommand");
  Check(app.language == 0 || app.language == 1, "language outside 0 and 1 after loading");
}

// The persisted fields, texts up to their terminators (what follows one is not significant).
std::string Persisted() {
  std::string image(app.portName, FieldLength(app.portName, sizeof app.portName));
  image += '|';
  for (const char* text : {app.baudText, app.workingDirectory, app.sendFileCommand,
                           app.changeDirCommand, app.sendDirCommand}) {
    image += text;
    image += '|';
  }
  const uint8_t options[] = {app.parityIndex, app.byteSizeIndex, app.stopBitsIndex,  app.ctsFlow,
                             app.rtsControl,  app.dtrControl,    app.dsrSensitivity, app.dsrFlow,
                             app.xonXoff,     app.language,      app.chgdirConfirm};
  image.append(reinterpret_cast<const char*>(options), sizeof options);
  return image;
}

// Saves, checks the file's size and loads it back.
int SaveAndLoad() {
  SaveSettings(kSettingsFileName);
  struct stat info {};
  Check(stat(settingsPath.c_str(), &info) == 0 && info.st_size == 347, "saved file of 347 bytes");
  platform::SetCurrentDir(homeDirectory);
  const int loaded = LoadSettings(kSettingsFileName);
  ExpectFieldsSound();
  return loaded;
}

// Loading settles a few things (a working directory that cannot be entered becomes the start
// directory, a rejected rate the defaults); once settled, a save and a load change nothing.
void ExpectSaveRoundTrip(const char* what) {
  ExpectFieldsSound();
  if (SaveAndLoad() != 1) return;
  const std::string settled = Persisted();
  Check(SaveAndLoad() == 1, what);
  Check(Persisted() == settled, what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/fuzz-settings-XXXXXX";
  if (!mkdtemp(pattern) || !platform::SetCurrentDir(pattern)) std::abort();
  platform::GetCurrentDir(homeDirectory, sizeof homeDirectory);
  settingsPath = std::string(homeDirectory) + "/" + kSettingsFileName;
  std::atexit(RemoveHomeDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ClearAppState();
  CopyText(app.startDirectory, homeDirectory);
  platform::SetCurrentDir(homeDirectory);

  const size_t fileSize = size < kSettingsFileSize ? size : kSettingsFileSize;
  if (std::FILE* file = std::fopen(settingsPath.c_str(), "wb")) {
    if (fileSize > 0) std::fwrite(data, 1, fileSize, file);
    std::fclose(file);
  }
  LoadSettings(kSettingsFileName);
  ExpectSaveRoundTrip("a loaded file saved and loaded again");

  // Edits through the dialog, then Apply.
  SettingsDialogState dialog;
  OpenSettingsDialog(&dialog);
  static const int kCombos[] = {SettingsPortBox,     SettingsBaudBox,       SettingsParityBox,
                                SettingsStopBitsBox, SettingsByteLengthBox, SettingsDtrBox,
                                SettingsRtsBox,      SettingsLanguageBox};
  static const int kChecks[] = {SettingsCtsCheck, SettingsDsrCheck, SettingsDsrSensitivityCheck,
                                SettingsXonXoffCheck, SettingsConfirmCheck};
  static const int kEdits[] = {SettingsSendFileEdit, SettingsChangeDirEdit, SettingsSendDirEdit};
  int refusals = 0;
  SettingsDialogHooks hooks;
  hooks.showRefusal = [&refusals](const char*) { ++refusals; };
  bool edited = false;
  for (size_t at = fileSize; at + 3 <= size;) {
    const uint8_t kind = data[at] % 4;
    const uint8_t control = data[at + 1];
    size_t length = data[at + 2];
    at += 3;
    if (length > size - at) length = size - at;
    const std::string text(reinterpret_cast<const char*>(data + at), length);
    at += length;
    edited = true;
    switch (kind) {
      case 0:
        TypeSettingsComboText(&dialog, kCombos[control % 8], text);
        break;
      case 1:
        SelectSettingsEntry(&dialog, kCombos[control % 8], static_cast<int>(length) - 1);
        break;
      case 2:
        SetSettingsCheck(&dialog, kChecks[control % 5], length % 2 == 1);
        break;
      default:
        TypeSettingsCommandName(&dialog, kEdits[control % 3], text);
        break;
    }
  }
  if (!edited) return 0;
  for (const std::string* edit :
       {&dialog.sendFileEdit, &dialog.changeDirEdit, &dialog.sendDirEdit}) {
    Check(edit->size() <= kCommandNameLimit, "a command name past its limit");
  }
  const std::string before = Persisted();
  const bool applied = ApplySettings(&dialog, hooks);
  Check(applied == (refusals == 0), "Apply refused without a message, or the other way round");
  // A port name is stored whole or refused with nothing stored; never cut to another port's name.
  if (dialog.port.text.size() > kPortNameWidth) {
    Check(!applied && Persisted() == before, "a long port name stored or anything with it");
    return 0;
  }
  if (applied) {
    Check(std::string(app.portName, FieldLength(app.portName, sizeof app.portName)) ==
              dialog.port.text.substr(0, dialog.port.text.find('\0')),
          "the port name stored other than typed");
  }
  Check(app.language == 0 || app.language == 1, "Apply stored a language that has no texts");
  ExpectSaveRoundTrip("applied settings saved and loaded again");
  return 0;
}
