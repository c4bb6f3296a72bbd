#pragma once

#include <QFont>
#include <QRect>

// Where the controls of the two dialog templates stand, in dialog units, and how dialog units
// become pixels for a given dialog font.

struct DialogRect {
  int id;
  int x, y, width, height;
};

// Group boxes as the dialog templates draw them: the title on the frame's top line, inside the
// rectangle, not above it.
extern const char kGroupBoxStyle[];

// The dialog font: DejaVu Sans (the toolkit's sans-serif face when it is missing) at 8 points.
QFont DialogFont();

// Dialog units turned into pixels by the font's base units: a quarter of 1.2 times the average
// character width across, an eighth of the character height down.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int units) const;
  int Y(int units) const;
  QRect Rect(const DialogRect& rect) const;
  int baseWidth() const { return baseWidth_; }
  int baseHeight() const { return baseHeight_; }

 private:
  int baseWidth_;
  int baseHeight_;
};

// Template 106, the main window: 317 x 327 units.
constexpr int kMainWindowWidthUnits = 317;
constexpr int kMainWindowHeightUnits = 327;
extern const DialogRect kMainWindowRects[];
extern const int kMainWindowRectCount;
const DialogRect* FindMainWindowRect(int id);

// Template 103, the settings dialog: 317 x 221 units. Group boxes without an identifier of their
// own get one above any control's here.
constexpr int kSettingsWidthUnits = 317;
constexpr int kSettingsHeightUnits = 221;
enum SettingsUnnamedGroup : int {
  SettingsPortGroup = 100001,
  SettingsDtrGroup = 100002,
  SettingsRtsGroup = 100003,
};
struct SettingsTemplateControl {
  DialogRect rect;
  enum Kind { kComboBox, kSortedComboBox, kCheckBox, kEdit, kDefaultButton, kButton, kGroupBox };
  Kind kind;
  const char* text;  // Windows-1250
};
extern const SettingsTemplateControl kSettingsControls[];
extern const int kSettingsControlCount;
