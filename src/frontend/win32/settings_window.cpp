#include <string>

#include "core/app_state.h"
#include "frontend/win32/win32_windows.h"
#include "platform/win32/wide_text.h"
#include "settings/settings_dialog.h"

namespace {

// The dialog is modal: one at a time.
SettingsDialogState dialogState;

const int kComboBoxes[] = {SettingsPortBox,     SettingsBaudBox,       SettingsParityBox,
                           SettingsStopBitsBox, SettingsByteLengthBox, SettingsDtrBox,
                           SettingsRtsBox,      SettingsLanguageBox};
const int kCheckBoxes[] = {SettingsCtsCheck, SettingsDsrCheck, SettingsDsrSensitivityCheck,
                           SettingsXonXoffCheck, SettingsConfirmCheck};
const int kCommandEdits[] = {SettingsSendFileEdit, SettingsChangeDirEdit, SettingsSendDirEdit};

std::string ControlText(HWND dialog, int control) {
  HWND item = GetDlgItem(dialog, control);
  const int length = GetWindowTextLengthW(item);
  if (length <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(item, &wide[0], length + 1);
  return platform::WideToCp1250Lossy(wide.c_str(), got > 0 ? static_cast<size_t>(got) : 0);
}

void SetControlText(HWND dialog, int control, const std::string& text) {
  SetDlgItemTextW(dialog, control, platform::Cp1250ToWide(text.c_str()).c_str());
}

// The state the opening logic decided, drawn into the controls.
void ShowState(HWND dialog) {
  for (int edit : kCommandEdits) {
    SendDlgItemMessageW(dialog, edit, EM_LIMITTEXT, kCommandNameLimit, 0);
  }
  for (const SettingsLabel& label : dialogState.labels) {
    SetControlText(dialog, label.control, label.text);
  }
  for (int control : kComboBoxes) {
    const ComboBoxState* box = FindSettingsComboBox(&dialogState, control);
    if (!box) continue;
    for (const std::string& entry : box->entries) {
      SendDlgItemMessageW(dialog, control, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(platform::Cp1250ToWide(entry.c_str()).c_str()));
    }
  }
  SetControlText(dialog, SettingsSendFileEdit, dialogState.sendFileEdit);
  SetControlText(dialog, SettingsChangeDirEdit, dialogState.changeDirEdit);
  SetControlText(dialog, SettingsSendDirEdit, dialogState.sendDirEdit);
  for (int control : kCheckBoxes) {
    const bool* check = FindSettingsCheckBox(&dialogState, control);
    CheckDlgButton(dialog, control, check && *check ? BST_CHECKED : BST_UNCHECKED);
  }
  for (int control : kComboBoxes) {
    const ComboBoxState* box = FindSettingsComboBox(&dialogState, control);
    if (!box) continue;
    SendDlgItemMessageW(dialog, control, CB_SETCURSEL, static_cast<WPARAM>(box->selected), 0);
    if (box->selected < 0) SetDlgItemTextW(dialog, control, L"");
  }
}

// What the user did with the controls, taken back into the state before a command.
void TakeControls(HWND dialog) {
  for (int control : kComboBoxes) {
    ComboBoxState* box = FindSettingsComboBox(&dialogState, control);
    if (!box) continue;
    box->selected = static_cast<int>(SendDlgItemMessageW(dialog, control, CB_GETCURSEL, 0, 0));
    box->text = ControlText(dialog, control);
  }
  for (int control : kCheckBoxes) {
    if (bool* check = FindSettingsCheckBox(&dialogState, control)) {
      *check = IsDlgButtonChecked(dialog, control) == BST_CHECKED;
    }
  }
  for (int control : kCommandEdits) {
    TypeSettingsCommandName(&dialogState, control, ControlText(dialog, control));
  }
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OpenSettingsDialog(&dialogState);
      ShowState(dialog);
      return TRUE;
    case WM_COMMAND: {
      const int command = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (command != SettingsApplyButton && command != SettingsOkButton &&
          command != SettingsCancelButton && command != kStandardCancelCommand) {
        return FALSE;
      }
      TakeControls(dialog);
      SettingsDialogHooks hooks;
      // Owned by the dialog, with the system's default caption.
      hooks.showRefusal = [dialog](const char* text) {
        ShowMessageBox(dialog, text, nullptr, MB_OK);
      };
      const bool ends = SettingsDialogCommand(&dialogState, command, hooks);
      NameStartStopButton();
      if (ends) EndDialog(dialog, command);
      return TRUE;
    }
    case WM_HELP:
      ShowContextHelp(FindSettingsDialogHelp(HelpRequestControl(lParam)), dialog);
      return TRUE;
    default:
      return FALSE;
  }
}
