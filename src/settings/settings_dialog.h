#pragma once

#include <functional>
#include <string>
#include <vector>

// The settings dialog (template 103) as data: every decision the dialog makes is made here, a
// front end only draws the state and forwards what the user does.

// The controls of the dialog, by the identifiers of its template.
enum SettingsDialogControl : int {
  SettingsPortBox = 1085,
  SettingsBaudBox = 1083,
  SettingsParityBox = 1090,
  SettingsStopBitsBox = 1091,
  SettingsByteLengthBox = 1092,
  SettingsCtsCheck = 1087,
  SettingsDsrCheck = 1088,
  SettingsDsrSensitivityCheck = 1098,
  SettingsXonXoffCheck = 1099,
  SettingsDtrBox = 1101,
  SettingsRtsBox = 1102,
  SettingsLanguageBox = 1126,
  SettingsSendFileEdit = 1156,
  SettingsChangeDirEdit = 1057,
  SettingsSendDirEdit = 1058,
  SettingsConfirmCheck = 1164,
  SettingsOkButton = 1051,
  SettingsCancelButton = 1050,
  SettingsApplyButton = 1049,
  SettingsParityGroup = 1024,
  SettingsStopBitsGroup = 1117,
  SettingsByteLengthGroup = 1118,
  SettingsBaudGroup = 1116,
  SettingsFlowGroup = 1119,
  SettingsLanguageGroup = 1125,
  SettingsCommandsGroup = 1159,
  SettingsSendFileGroup = 1162,
  SettingsChangeDirGroup = 1157,
  SettingsSendDirGroup = 1158,
};

// The standard cancel command (IDCANCEL) that Escape and the caption's close box send.
constexpr int kStandardCancelCommand = 2;
// The most characters a command-name edit accepts.
constexpr int kCommandNameLimit = 20;

// An editable drop-down list: the entries in order, the selected one (-1 for none) and the text
// of its edit field, which the user may have typed.
struct ComboBoxState {
  int control = 0;
  std::vector<std::string> entries;
  int selected = -1;
  std::string text;
};

struct SettingsLabel {
  int control;
  std::string text;
};

struct SettingsDialogState {
  bool open = false;
  // In the order the lists are filled at opening.
  ComboBoxState port, baud, parity, stopBits, byteLength, dtr, rts, language;
  bool cts = false, dsr = false, dsrSensitivity = false, xonXoff = false, confirm = false;
  std::string sendFileEdit, changeDirEdit, sendDirEdit;  // each at most kCommandNameLimit
  // The labels set at opening, in the language of that moment.
  std::vector<SettingsLabel> labels;
};

// What the front end supplies: the refusal of a command name, shown as a message box owned by
// the dialog with the platform's default error caption and an OK button.
struct SettingsDialogHooks {
  std::function<void(const char* text)> showRefusal;
};

// Opens the dialog on the application state (labels, lists, opening values).
void OpenSettingsDialog(SettingsDialogState* dialog);

// A command from a control or the standard cancel command. Returns true when the dialog is to
// close (then `open` is false); every unknown identifier is ignored.
bool SettingsDialogCommand(SettingsDialogState* dialog, int command,
                           const SettingsDialogHooks& hooks);

// Apply: true when it ran to its end, false when a command name was refused.
bool ApplySettings(SettingsDialogState* dialog, const SettingsDialogHooks& hooks);

// The dialog's controls by identifier; null when the control is not of that kind.
ComboBoxState* FindSettingsComboBox(SettingsDialogState* dialog, int control);
bool* FindSettingsCheckBox(SettingsDialogState* dialog, int control);
std::string* FindSettingsEdit(SettingsDialogState* dialog, int control);

// What the user does. Each returns false when the control is not of that kind (or the entry does
// not exist).
// Chooses an entry of a list (-1 clears the choice and the text).
bool SelectSettingsEntry(SettingsDialogState* dialog, int control, int index);
// Typing into a list's edit field: the text counts, the list has no selected entry afterwards.
bool TypeSettingsComboText(SettingsDialogState* dialog, int control, const std::string& text);
bool SetSettingsCheck(SettingsDialogState* dialog, int control, bool checked);
// Typing into a command-name edit keeps its limit of 20 characters.
bool TypeSettingsCommandName(SettingsDialogState* dialog, int control, const std::string& text);

// The label of a control set at opening, or null when the template's own text stays.
const char* SettingsDialogLabel(const SettingsDialogState& dialog, int control);
