#include "settings/settings_dialog.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/text_field.h"
#include "settings/port_dcb.h"
#include "settings/settings_file.h"
#include "ui/main_window.h"

namespace {

struct LabelRow {
  int control;
  const char* polish;
  const char* english;
};

const LabelRow kLabels[] = {
    {SettingsBaudGroup, "Szybkość", "Baud rate"},
    {SettingsParityGroup, "Parzystość", "Parity"},
    {SettingsStopBitsGroup, "Bity stopu", "Stop bits"},
    {SettingsByteLengthGroup, "Długość bajtu", "Byte length"},
    {SettingsFlowGroup, "Kontrola przepływu", "Flow control"},
    {SettingsDsrSensitivityCheck, "DSR sensitivity", "DSR sensitivity"},
    {SettingsXonXoffCheck, "Kontrola XON/XOFF", "XON/XOFF control"},
    {SettingsCancelButton, "Anuluj", "Cancel"},
    {SettingsApplyButton, "Zastosuj", "Apply"},
    {SettingsLanguageGroup, "Język", "Language"},
    {SettingsCommandsGroup, "Komendy dla nasłuchu", "Commands for listening"},
    {SettingsSendFileGroup, "Wyślij plik", "Send file"},
    {SettingsChangeDirGroup, "Zmień katalog", "Change directory"},
    {SettingsSendDirGroup, "Wyślij zawartość katalogu", "Send directory content"},
    {SettingsConfirmCheck, "Wyślij potwierdzenie", "Send confirmation"},
};

const char* const kBaudEntries[] = {"110",   "150",    "300",    "600",   "1200",  "2400",
                                    "4800",  "9600",   "14400",  "19200", "38400", "56000",
                                    "57600", "115200", "128000", "256000"};
const char* const kParityEntries[] = {"Even", "Mark", "No", "Odd", "Space"};
const char* const kStopBitsEntries[] = {"1", "1.5", "2"};
const char* const kByteLengthEntries[] = {"4", "5", "6", "7", "8"};
// The DTR and RTS boxes sort their entries; these orders are already alphabetical.
const char* const kDtrEntries[] = {"Disable", "Enable", "Handshake"};
const char* const kRtsEntries[] = {"Disable", "Enable", "Handshake", "Toggle"};
const char* const kLanguageEntries[] = {"Polski", "English"};

template <size_t N>
void Fill(ComboBoxState* box, int control, const char* const (&entries)[N]) {
  box->control = control;
  box->entries.assign(entries, entries + N);
  box->selected = -1;
  box->text.clear();
}

// Whether `text` begins with `prefix`, letters A to Z compared without regard to case.
bool BeginsWithFolded(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (FoldAscii(text[i]) != FoldAscii(prefix[i])) return false;
  }
  return true;
}

// The list's own search: the first entry that begins with `text`, ignoring case. An empty text
// matches nothing, so that an empty stored value shows as empty rather than as the first entry.
void SelectByPrefix(ComboBoxState* box, const std::string& text) {
  box->selected = -1;
  box->text.clear();
  if (text.empty()) return;
  for (size_t i = 0; i < box->entries.size(); ++i) {
    if (BeginsWithFolded(box->entries[i], text)) {
      box->selected = static_cast<int>(i);
      box->text = box->entries[i];
      return;
    }
  }
}

void SelectByPosition(ComboBoxState* box, uint8_t position) {
  if (position < box->entries.size()) {
    box->selected = position;
    box->text = box->entries[position];
  } else {
    box->selected = -1;
    box->text.clear();
  }
}

std::string FieldText(const char* field, size_t width) {
  return std::string(field, FieldLength(field, width));
}

std::string CutToLimit(const std::string& text) {
  return text.size() > static_cast<size_t>(kCommandNameLimit) ? text.substr(0, kCommandNameLimit)
                                                              : text;
}

// A name is refused when it is not empty and one of the two others begins with it.
bool NameRefused(const char* name, const char* other1, const char* other2) {
  if (!*name) return false;
  return BeginsWithFolded(other1, name) || BeginsWithFolded(other2, name);
}

// The stored port field holds five characters ("COM10" to "COM99" fill it with no terminator);
// a longer name would be cut to another port's name, so it is refused instead.
bool PortNameFits(const std::string& text) {
  return text.size() <= kPortNameWidth;
}

void StorePortName(const std::string& text) {
  std::memset(app.portName, 0, sizeof app.portName);
  std::memcpy(app.portName, text.data(),
              text.size() < kPortNameWidth ? text.size() : kPortNameWidth);
}

uint8_t StoredPosition(const ComboBoxState& box) {
  return static_cast<uint8_t>(box.selected < 0 ? -1 : box.selected);
}

void Refuse(const SettingsDialogHooks& hooks, const char* text) {
  app.settingsCloseAfterApply = 0;
  if (hooks.showRefusal) hooks.showRefusal(text);
}

}  // namespace

void OpenSettingsDialog(SettingsDialogState* dialog) {
  SettingsDialogState& d = *dialog;
  d = SettingsDialogState();
  d.open = true;
  app.settingsCloseAfterApply = 0;

  for (const LabelRow& row : kLabels)
    d.labels.push_back({row.control, LocalText(row.polish, row.english)});

  d.port.control = SettingsPortBox;
  for (int number = 1; number <= 255; ++number) {
    char name[8];
    std::snprintf(name, sizeof name, "COM%d", number);
    d.port.entries.push_back(name);
  }
  Fill(&d.baud, SettingsBaudBox, kBaudEntries);
  Fill(&d.parity, SettingsParityBox, kParityEntries);
  Fill(&d.stopBits, SettingsStopBitsBox, kStopBitsEntries);
  Fill(&d.byteLength, SettingsByteLengthBox, kByteLengthEntries);
  Fill(&d.dtr, SettingsDtrBox, kDtrEntries);
  Fill(&d.rts, SettingsRtsBox, kRtsEntries);
  Fill(&d.language, SettingsLanguageBox, kLanguageEntries);

  // A stored name is at most 20 characters; the edit's limit applies to what is put in, too.
  d.sendFileEdit = CutToLimit(FieldText(app.sendFileCommand, kCommandNameWidth));
  d.changeDirEdit = CutToLimit(FieldText(app.changeDirCommand, kCommandNameWidth));
  d.sendDirEdit = CutToLimit(FieldText(app.sendDirCommand, kCommandNameWidth));

  d.cts = app.ctsFlow != 0;
  d.dsrSensitivity = app.dsrSensitivity != 0;
  d.dsr = app.dsrFlow != 0;
  d.xonXoff = app.xonXoff != 0;
  d.confirm = app.chgdirConfirm != 0;

  SelectByPrefix(&d.port, FieldText(app.portName, kPortNameWidth));
  SelectByPrefix(&d.baud, FieldText(app.baudText, kBaudTextWidth));
  SelectByPosition(&d.parity, app.parityIndex);
  SelectByPosition(&d.byteLength, app.byteSizeIndex);
  SelectByPosition(&d.stopBits, app.stopBitsIndex);
  SelectByPosition(&d.dtr, app.dtrControl);
  SelectByPosition(&d.rts, app.rtsControl);
  SelectByPosition(&d.language, app.language);
}

bool ApplySettings(SettingsDialogState* dialog, const SettingsDialogHooks& hooks) {
  SettingsDialogState& d = *dialog;
  // Checked before anything is stored: a refused port leaves every setting as it was.
  if (!PortNameFits(d.port.text)) {
    Refuse(hooks, LocalText("Zła nazwa portu: najwyżej 5 znaków (COM1 do COM99)",
                            "Bad port name: 5 characters at most (COM1 to COM99)"));
    return false;
  }
  char(&input)[3][kCommandNameWidth] = app.commandNameInput;
  CopyText(input[0], CutToLimit(d.sendFileEdit).c_str());
  CopyText(input[1], CutToLimit(d.changeDirEdit).c_str());
  CopyText(input[2], CutToLimit(d.sendDirEdit).c_str());

  // Each name is checked against the others as typed; a refusal keeps the names already copied.
  if (NameRefused(input[0], input[1], input[2])) {
    Refuse(hooks,
           LocalText("Zła nazwa komendy do wysłania pliku", "Bad name of command to send file"));
    return false;
  }
  CopyText(app.sendFileCommand, input[0]);
  if (NameRefused(input[1], input[0], input[2])) {
    Refuse(hooks, LocalText("Zła nazwa komendy do zmiany katalogu",
                            "Bad name of command to change directory"));
    return false;
  }
  CopyText(app.changeDirCommand, input[1]);
  if (NameRefused(input[2], input[0], input[1])) {
    Refuse(hooks, LocalText("Zła nazwa komendy do wysłania zawartości katalogu",
                            "Bad name of command to send directory content"));
    return false;
  }
  CopyText(app.sendDirCommand, input[2]);

  app.parityIndex = StoredPosition(d.parity);
  app.byteSizeIndex = StoredPosition(d.byteLength);
  app.stopBitsIndex = StoredPosition(d.stopBits);
  app.dtrControl = StoredPosition(d.dtr);
  app.rtsControl = StoredPosition(d.rts);
  // With no language chosen the one in force stays: there is no third language to show.
  if (d.language.selected >= 0) app.language = StoredPosition(d.language);

  app.ctsFlow = d.cts ? 1 : 0;
  app.chgdirConfirm = d.confirm ? 1 : 0;
  app.dsrSensitivity = d.dsrSensitivity ? 1 : 0;
  app.dsrFlow = d.dsr ? 1 : 0;
  app.xonXoff = d.xonXoff ? 1 : 0;

  // The baud field cuts its text to 6 characters; the port name was checked to fit.
  StorePortName(d.port.text);
  CopyText(app.baudText, d.baud.text.c_str());

  BuildPortDcb();  // a rejected rate is saved as it is; the next start falls back to defaults
  SaveSettings(kSettingsFileName);
  SetMainWindowLabels();

  if (app.settingsCloseAfterApply == 1) d.open = false;
  return true;
}

bool SettingsDialogCommand(SettingsDialogState* dialog, int command,
                           const SettingsDialogHooks& hooks) {
  if (!dialog->open) return false;
  switch (command) {
    case SettingsApplyButton:
      ApplySettings(dialog, hooks);
      break;
    case SettingsOkButton:
      app.settingsCloseAfterApply = 1;
      ApplySettings(dialog, hooks);
      break;
    case SettingsCancelButton:
    case kStandardCancelCommand:
      dialog->open = false;
      break;
    default:
      break;
  }
  return !dialog->open;
}

ComboBoxState* FindSettingsComboBox(SettingsDialogState* dialog, int control) {
  ComboBoxState* boxes[] = {&dialog->port,       &dialog->baud, &dialog->parity, &dialog->stopBits,
                            &dialog->byteLength, &dialog->dtr,  &dialog->rts,    &dialog->language};
  for (ComboBoxState* box : boxes) {
    if (box->control == control) return box;
  }
  return nullptr;
}

bool* FindSettingsCheckBox(SettingsDialogState* dialog, int control) {
  switch (control) {
    case SettingsCtsCheck:
      return &dialog->cts;
    case SettingsDsrCheck:
      return &dialog->dsr;
    case SettingsDsrSensitivityCheck:
      return &dialog->dsrSensitivity;
    case SettingsXonXoffCheck:
      return &dialog->xonXoff;
    case SettingsConfirmCheck:
      return &dialog->confirm;
    default:
      return nullptr;
  }
}

std::string* FindSettingsEdit(SettingsDialogState* dialog, int control) {
  switch (control) {
    case SettingsSendFileEdit:
      return &dialog->sendFileEdit;
    case SettingsChangeDirEdit:
      return &dialog->changeDirEdit;
    case SettingsSendDirEdit:
      return &dialog->sendDirEdit;
    default:
      return nullptr;
  }
}

bool SelectSettingsEntry(SettingsDialogState* dialog, int control, int index) {
  ComboBoxState* box = FindSettingsComboBox(dialog, control);
  if (!box || index < -1 || index >= static_cast<int>(box->entries.size())) return false;
  box->selected = index;
  box->text = index < 0 ? std::string() : box->entries[index];
  return true;
}

bool TypeSettingsComboText(SettingsDialogState* dialog, int control, const std::string& text) {
  ComboBoxState* box = FindSettingsComboBox(dialog, control);
  if (!box) return false;
  box->text = text;
  box->selected = -1;
  return true;
}

bool SetSettingsCheck(SettingsDialogState* dialog, int control, bool checked) {
  bool* box = FindSettingsCheckBox(dialog, control);
  if (!box) return false;
  *box = checked;
  return true;
}

bool TypeSettingsCommandName(SettingsDialogState* dialog, int control, const std::string& text) {
  std::string* edit = FindSettingsEdit(dialog, control);
  if (!edit) return false;
  *edit = CutToLimit(text);
  return true;
}

const char* SettingsDialogLabel(const SettingsDialogState& dialog, int control) {
  for (const SettingsLabel& label : dialog.labels) {
    if (label.control == control) return label.text.c_str();
  }
  return nullptr;
}
