#include "ui/control_ids.h"

#include <cstring>

const ControlInfo kMainWindowControls[] = {
    {ReceiveFileButton, "ReceiveFileButton", ControlKind::kPushButton, "Receive file", false},
    {SendFileButton, "SendFileButton", ControlKind::kPushButton, "Send file", false},
    {ExitButton, "ExitButton", ControlKind::kPushButton, "Exit", false},
    {SettingsButton, "SettingsButton", ControlKind::kPushButton, "Settings", false},
    {DelayField, "DelayField", ControlKind::kNumberEdit, "", false},
    {CountField, "CountField", ControlKind::kReadOnlyEdit, "", false},
    {StartStopButton, "StartStopButton", ControlKind::kBitmapButton, "Rozpocznij transmisję",
     false},
    {FileCaption, "FileCaption", ControlKind::kStatic, "n pliku", false},
    {ViewTextButton, "ViewTextButton", ControlKind::kPushButton, "Zobacz plik (text)", false},
    {ProgressBar, "ProgressBar", ControlKind::kProgressBar, "", false},
    {AnimationImage, "AnimationImage", ControlKind::kStaticBitmap, "", false},
    {CtsLamp, "CtsLamp", ControlKind::kCheckBox, "CTS", false},
    {DsrLamp, "DsrLamp", ControlKind::kCheckBox, "DSR", false},
    {RingLamp, "RingLamp", ControlKind::kCheckBox, "RING", false},
    {RlsdLamp, "RlsdLamp", ControlKind::kCheckBox, "RLSD", false},
    {ErrorsBox, "ErrorsBox", ControlKind::kMultiLineEdit, "", false},
    {CtsHoldLamp, "CtsHoldLamp", ControlKind::kCheckBox, "CTS Hold", false},
    {RlsdHoldLamp, "RlsdHoldLamp", ControlKind::kCheckBox, "RLSD Hold", false},
    {DsrHoldLamp, "DsrHoldLamp", ControlKind::kCheckBox, "DSR Hold", false},
    {CountLabel, "CountLabel", ControlKind::kStatic, "l znakow", false},
    {ViewHexButton, "ViewHexButton", ControlKind::kPushButton, "Zobacz plik (tekst)", false},
    {XoffSentLamp, "XoffSentLamp", ControlKind::kCheckBox, "XOFF Sent", false},
    {XoffHoldLamp, "XoffHoldLamp", ControlKind::kCheckBox, "XOFF Hold", false},
    {ModemStatusGroup, "ModemStatusGroup", ControlKind::kGroupBox, "Modem status", false},
    {CommStatusGroup, "CommStatusGroup", ControlKind::kGroupBox, "Communication status", false},
    {ErrorsGroup, "ErrorsGroup", ControlKind::kGroupBox, "Errors", false},
    {ListenButton, "ListenButton", ControlKind::kPushLikeCheckBox, "Nasłuch", false},
    {VerifyButton, "VerifyButton", ControlKind::kPushLikeCheckBox, "Weryfikacja", false},
    {CurrentDirField, "CurrentDirField", ControlKind::kStatic, "katalog", false},
    {LastErrorSourceField, "LastErrorSourceField", ControlKind::kStatic, "n bledu", false},
    {LastErrorCodeField, "LastErrorCodeField", ControlKind::kStatic, "k bledu", false},
    {CurrentDirGroup, "CurrentDirGroup", ControlKind::kGroupBox, "Aktualny katalog", false},
    {DelayLabel, "DelayLabel", ControlKind::kStatic, "Czas do wysłania", true},
    {ListenGroup, "ListenGroup", ControlKind::kGroupBox, "Nasłuch", true},
    {HelpButton, "HelpButton", ControlKind::kPushButton, "Help", false},
};

const int kMainWindowControlCount = sizeof(kMainWindowControls) / sizeof(kMainWindowControls[0]);

const ControlInfo* FindMainWindowControl(int id) {
  for (const ControlInfo& control : kMainWindowControls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

const ControlInfo* FindMainWindowControlByName(const char* name) {
  for (const ControlInfo& control : kMainWindowControls) {
    if (std::strcmp(control.name, name) == 0) return &control;
  }
  return nullptr;
}
