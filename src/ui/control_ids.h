#pragma once

// The controls of the main window, by the identifiers of its dialog template.
enum ControlId : int {
  ReceiveFileButton = 1049,
  SendFileButton = 1050,
  ExitButton = 1051,
  SettingsButton = 1052,
  DelayField = 1057,
  CountField = 1060,
  StartStopButton = 1061,
  FileCaption = 1062,
  ViewTextButton = 1073,
  ProgressBar = 1075,
  AnimationImage = 1097,
  CtsLamp = 1102,
  DsrLamp = 1103,
  RingLamp = 1104,
  RlsdLamp = 1105,
  ErrorsBox = 1108,
  CtsHoldLamp = 1109,
  RlsdHoldLamp = 1110,
  DsrHoldLamp = 1111,
  CountLabel = 1113,
  ViewHexButton = 1114,
  XoffSentLamp = 1115,
  XoffHoldLamp = 1116,
  ModemStatusGroup = 1121,
  CommStatusGroup = 1122,
  ErrorsGroup = 1123,
  ListenButton = 1142,
  VerifyButton = 1144,
  CurrentDirField = 1147,
  LastErrorSourceField = 1148,
  LastErrorCodeField = 1149,
  CurrentDirGroup = 1151,
  DelayLabel = 1160,
  ListenGroup = 1161,
  HelpButton = 1163,
};

// Bitmap resources.
enum ImageId : int {
  NoImage = 0,
  StopImage = 118,
  StartImage = 119,
  FirstAnimationImage = 125,  // 125 to 129
};

enum class ControlKind {
  kPushButton,
  kBitmapButton,
  kEdit,
  kNumberEdit,
  kReadOnlyEdit,
  kMultiLineEdit,
  kStatic,
  kStaticBitmap,
  kCheckBox,
  kPushLikeCheckBox,
  kProgressBar,
  kGroupBox,
};

struct ControlInfo {
  ControlId id;
  const char* name;
  ControlKind kind;
  const char* templateText;  // Windows-1250
  bool createdDisabled;
};

// Every control of the main window, in identifier order.
extern const ControlInfo kMainWindowControls[];
extern const int kMainWindowControlCount;
const ControlInfo* FindMainWindowControl(int id);
const ControlInfo* FindMainWindowControlByName(const char* name);
