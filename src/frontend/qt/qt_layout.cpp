#include "frontend/qt/qt_layout.h"

#include <QApplication>
#include <QFontMetrics>

#include "settings/settings_dialog.h"
#include "ui/control_ids.h"

namespace {

int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) /
                          denominator);
}

}  // namespace

const char kGroupBoxStyle[] =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; padding: 0 2px; }"
    "QGroupBox::title:disabled { color: palette(mid); }";

QFont DialogFont() {
  // One face whatever the desktop's default, so that the same texts fit the same rectangles.
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width over the 52 letters, a fifth wider than the window system takes it: the
  // toolkit's styles keep wider margins around a text than the templates were drawn for.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  baseWidth_ = (letters * 6 / 5 / 26 + 1) / 2;
  baseHeight_ = metrics.height();
  if (baseWidth_ < 1) baseWidth_ = 1;
  if (baseHeight_ < 1) baseHeight_ = 1;
}

int DialogUnits::X(int units) const {
  return MulDiv(units, baseWidth_, 4);
}
int DialogUnits::Y(int units) const {
  return MulDiv(units, baseHeight_, 8);
}
QRect DialogUnits::Rect(const DialogRect& rect) const {
  return QRect(X(rect.x), Y(rect.y), X(rect.width), Y(rect.height));
}

const DialogRect kMainWindowRects[] = {
    {ReceiveFileButton, 115, 5, 65, 14},
    {SendFileButton, 115, 20, 65, 15},
    {ExitButton, 190, 295, 105, 25},
    {SettingsButton, 10, 280, 130, 14},
    {DelayField, 280, 50, 15, 14},
    {CountField, 10, 60, 55, 14},
    {StartStopButton, 10, 10, 38, 35},
    {FileCaption, 15, 135, 285, 8},
    {ViewTextButton, 210, 80, 63, 14},
    {ProgressBar, 10, 80, 110, 10},
    {AnimationImage, 70, 11, 35, 32},
    {CtsLamp, 20, 165, 30, 10},
    {DsrLamp, 60, 165, 31, 10},
    {RingLamp, 20, 185, 34, 10},
    {RlsdLamp, 60, 185, 35, 10},
    {ErrorsBox, 181, 200, 125, 70},
    {CtsHoldLamp, 20, 214, 47, 10},
    {RlsdHoldLamp, 20, 235, 52, 10},
    {DsrHoldLamp, 75, 215, 48, 10},
    {CountLabel, 70, 64, 62, 8},
    {ViewHexButton, 135, 80, 63, 14},
    {XoffSentLamp, 75, 255, 59, 10},
    {XoffHoldLamp, 20, 255, 50, 10},
    {ModemStatusGroup, 10, 155, 90, 45},
    {CommStatusGroup, 10, 205, 130, 65},
    {ErrorsGroup, 175, 155, 135, 130},
    {ListenButton, 215, 5, 85, 30},
    {VerifyButton, 115, 35, 65, 15},
    {CurrentDirField, 15, 114, 290, 14},
    {LastErrorSourceField, 185, 170, 95, 8},
    {LastErrorCodeField, 185, 185, 95, 8},
    {CurrentDirGroup, 10, 98, 300, 52},
    {DelayLabel, 216, 52, 60, 8},
    {ListenGroup, 215, 40, 85, 30},
    {HelpButton, 10, 300, 55, 14},
};
const int kMainWindowRectCount = sizeof(kMainWindowRects) / sizeof(kMainWindowRects[0]);

const DialogRect* FindMainWindowRect(int id) {
  for (const DialogRect& rect : kMainWindowRects) {
    if (rect.id == id) return &rect;
  }
  return nullptr;
}

using K = SettingsTemplateControl;
const SettingsTemplateControl kSettingsControls[] = {
    {{SettingsPortBox, 10, 20, 48, 150}, K::kComboBox, ""},
    {{SettingsBaudBox, 70, 20, 48, 70}, K::kComboBox, ""},
    {{SettingsParityBox, 135, 20, 66, 65}, K::kComboBox, ""},
    {{SettingsStopBitsBox, 215, 20, 35, 52}, K::kComboBox, ""},
    {{SettingsByteLengthBox, 273, 21, 32, 75}, K::kComboBox, ""},
    {{SettingsCtsCheck, 15, 70, 30, 10}, K::kCheckBox, "CTS"},
    {{SettingsDsrCheck, 15, 90, 31, 10}, K::kCheckBox, "DSR"},
    {{SettingsDsrSensitivityCheck, 15, 110, 63, 10}, K::kCheckBox, "DSR sensitivity"},
    {{SettingsXonXoffCheck, 15, 130, 77, 10}, K::kCheckBox, "XON/XOFF Control"},
    {{SettingsDtrBox, 25, 155, 55, 60}, K::kSortedComboBox, ""},
    {{SettingsRtsBox, 25, 190, 55, 55}, K::kSortedComboBox, ""},
    {{SettingsLanguageBox, 231, 75, 65, 45}, K::kComboBox, ""},
    {{SettingsSendFileEdit, 115, 75, 95, 14}, K::kEdit, ""},
    {{SettingsChangeDirEdit, 115, 115, 95, 14}, K::kEdit, ""},
    {{SettingsSendDirEdit, 115, 165, 95, 14}, K::kEdit, ""},
    {{SettingsConfirmCheck, 115, 135, 95, 10}, K::kCheckBox, "Potwierdzenie"},
    {{SettingsOkButton, 130, 195, 50, 14}, K::kDefaultButton, "OK"},
    {{SettingsCancelButton, 190, 195, 50, 14}, K::kButton, "Cancel"},
    {{SettingsApplyButton, 250, 195, 45, 14}, K::kButton, "Apply"},
    {{SettingsParityGroup, 130, 5, 75, 45}, K::kGroupBox, "Parity"},
    {{SettingsStopBitsGroup, 210, 5, 45, 45}, K::kGroupBox, "Stop bits"},
    {{SettingsByteLengthGroup, 260, 5, 55, 45}, K::kGroupBox, "Długość bajtu"},
    {{SettingsBaudGroup, 65, 5, 60, 45}, K::kGroupBox, "Baud rate"},
    {{SettingsPortGroup, 5, 5, 55, 45}, K::kGroupBox, "Port"},
    {{SettingsFlowGroup, 5, 55, 95, 160}, K::kGroupBox, "Flow control"},
    {{SettingsDtrGroup, 15, 145, 75, 30}, K::kGroupBox, "DTR"},
    {{SettingsRtsGroup, 15, 180, 75, 30}, K::kGroupBox, "RTS"},
    {{SettingsLanguageGroup, 225, 60, 75, 35}, K::kGroupBox, "Język"},
    {{SettingsCommandsGroup, 105, 55, 115, 135}, K::kGroupBox, "Komendy"},
    {{SettingsSendFileGroup, 110, 65, 105, 30}, K::kGroupBox, "Wyślij plik"},
    {{SettingsChangeDirGroup, 110, 105, 105, 45}, K::kGroupBox, "Zmień katalog"},
    {{SettingsSendDirGroup, 110, 155, 105, 30}, K::kGroupBox, "Wyślij zawartość katalogu"},
};
const int kSettingsControlCount = sizeof(kSettingsControls) / sizeof(kSettingsControls[0]);
