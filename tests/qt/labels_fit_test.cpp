// Every label, button text and group title of the main window and the settings dialog fits its
// control at the program's font, in both languages. The viewer has no texts of its own.

#include <QCheckBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include <cstdio>

#include "frontend/qt/qt_settings_dialog.h"
#include "qt_fixture.h"

namespace {

// What `widget` needs across for its text, with the style's margins; 0 for no text.
int WidthNeeded(QWidget* widget) {
  const QFontMetrics metrics(widget->font());
  QStyle* style = widget->style();
  if (auto* check = qobject_cast<QCheckBox*>(widget)) {
    if (check->text().isEmpty()) return 0;
    QStyleOptionButton option;
    option.initFrom(check);
    option.text = check->text();
    const QSize text(metrics.horizontalAdvance(check->text()), metrics.height());
    return style->sizeFromContents(QStyle::CT_CheckBox, &option, text, check).width();
  }
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    if (button->text().isEmpty()) return 0;
    QStyleOptionButton option;
    option.initFrom(button);
    if (button->isDefault()) option.features |= QStyleOptionButton::DefaultButton;
    // No text in the option: the style's minimum width for a text button is not a margin.
    const QSize text(metrics.horizontalAdvance(button->text()), metrics.height());
    return style->sizeFromContents(QStyle::CT_PushButton, &option, text, button).width();
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return label->text().isEmpty() ? 0 : metrics.horizontalAdvance(label->text());
  }
  if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    if (group->title().isEmpty()) return 0;
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.textAlignment = group->alignment();
    const QRect title =
        style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    // The title stands as far from the frame's right end as from its left.
    return title.right() + 1 + title.left();
  }
  return 0;
}

QString TextOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  return QString();
}

// The controls of `window` whose text does not fit, as "text: needed > width" lines.
QStringList Overruns(const QWidget* window) {
  QStringList overruns;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (widget->parentWidget() != window) continue;
    const int needed = WidthNeeded(widget);
    if (needed > widget->width()) {
      overruns << QStringLiteral("%1 %2: %3 > %4")
                      .arg(widget->metaObject()->className(), TextOf(widget))
                      .arg(needed)
                      .arg(widget->width());
    }
  }
  return overruns;
}

}  // namespace

class QtLabelsFitTest : public QtFrontEndTest {};

TEST_F(QtLabelsFitTest, EveryTextFitsItsControlInBothLanguages) {
  dir_.Write("program.nc", "N10 G00 X0\r\n");
  for (uint8_t language = 0; language < 2; ++language) {
    SCOPED_TRACE(language == 0 ? "Polish" : "English");
    std::remove(dir_.File("tazo.ini").c_str());
    Options options;
    options.language = language;
    Start(options);
    // A file chosen, so that the count label and the file caption show their texts too.
    script_.ChooseFile(dir_.File("program.nc"));
    Click(SendFileButton);
    ASSERT_TRUE(script_.Done());
    EXPECT_FALSE(Text(CountLabel).isEmpty());
    EXPECT_EQ(Overruns(&window()), QStringList());
    QStringList settingsOverruns;
    script_.Then([&] {
      QtSettingsDialog* dialog = program().settingsDialog();
      if (!dialog || !dialog->isVisible()) return false;
      settingsOverruns = Overruns(dialog);
      QTest::mouseClick(dialog->Control(SettingsCancelButton), Qt::LeftButton);
      return true;
    });
    Click(SettingsButton);
    ASSERT_TRUE(script_.Done());
    EXPECT_EQ(settingsOverruns, QStringList());
    Stop();
  }
}
