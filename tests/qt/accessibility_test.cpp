// What a screen reader finds: the errors box's and the viewer's lines through the text interface,
// and every control named in the language of the settings.

#include <QAccessible>
#include <QProgressBar>

#include <map>
#include <set>

#include "frontend/qt/qt_settings_dialog.h"
#include "frontend/qt/qt_viewer.h"
#include "qt_fixture.h"

namespace {

QAccessibleInterface* Accessible(QWidget* widget) {
  return QAccessible::queryAccessibleInterface(widget);
}

QString LineAt(QAccessibleTextInterface* text, int offset) {
  int start = 0, end = 0;
  return text->textAtOffset(offset, QAccessible::LineBoundary, &start, &end);
}

}  // namespace

class QtAccessibilityTest : public QtFrontEndTest {
 protected:
  std::map<int, QString> Names() {
    std::map<int, QString> names;
    for (int i = 0; i < kMainWindowControlCount; ++i) {
      const int id = kMainWindowControls[i].id;
      names[id] = Accessible(Control(id))->text(QAccessible::Name);
    }
    return names;
  }
};

TEST_F(QtAccessibilityTest, LinesForScreenReadersAndNamesInTheLanguage) {
  Options options;
  options.language = 0;
  Start(options);

  // The errors box: a read-only multi-line text and its lines.
  surface().SetText(ErrorsBox, "12:00:01  (C:2) opening port\r\n");
  surface().AppendText(ErrorsBox, "12:00:02  Zły bajt\r\n");
  QAccessibleInterface* box = Accessible(Control(ErrorsBox));
  EXPECT_EQ(box->role(), QAccessible::EditableText);
  EXPECT_TRUE(box->state().readOnly);
  EXPECT_TRUE(box->state().multiLine);
  EXPECT_EQ(box->text(QAccessible::Name), U8(u8"Błędy"));
  QAccessibleTextInterface* boxText = box->textInterface();
  ASSERT_NE(boxText, nullptr);
  const QString shown = U8(u8"12:00:01  (C:2) opening port\n12:00:02  Zły bajt\n");
  EXPECT_EQ(boxText->characterCount(), shown.size());
  EXPECT_EQ(boxText->text(0, boxText->characterCount()), shown);
  EXPECT_EQ(boxText->text(10, 15), "(C:2)");
  EXPECT_EQ(LineAt(boxText, 0), "12:00:01  (C:2) opening port\n");
  int start = 0, end = 0;
  EXPECT_EQ(boxText->textAtOffset(35, QAccessible::LineBoundary, &start, &end),
            U8(u8"12:00:02  Zły bajt\n"));
  EXPECT_EQ(start, 29);
  EXPECT_EQ(end, shown.size());
  EXPECT_EQ(boxText->textBeforeOffset(35, QAccessible::LineBoundary, &start, &end),
            "12:00:01  (C:2) opening port\n");
  EXPECT_EQ(boxText->cursorPosition(), shown.size());

  // The viewer: the lines in view.
  dir_.Write("part.nc", "N10 G00 X0\nN20 M30\n");
  script_.ChooseFile(dir_.File("part.nc"));
  Click(SendFileButton);
  ASSERT_TRUE(script_.Done());
  Click(ViewTextButton);
  ASSERT_NE(program().viewer(), nullptr);
  QAccessibleInterface* viewer = Accessible(program().viewer());
  EXPECT_EQ(viewer->role(), QAccessible::EditableText);
  EXPECT_EQ(viewer->text(QAccessible::Name), QString::fromStdString(dir_.File("part.nc")));
  QAccessibleTextInterface* viewerText = viewer->textInterface();
  ASSERT_NE(viewerText, nullptr);
  EXPECT_TRUE(viewerText->text(0, viewerText->characterCount()).startsWith("N10 G00 X0\nN20 M30"));
  EXPECT_EQ(LineAt(viewerText, 12), "N20 M30\n");
  program().viewer()->close();

  // Names: Polish now, English after Apply, each control's own.
  const std::map<int, QString> polish = Names();
  EXPECT_EQ(polish.at(StartStopButton), U8(u8"Rozpocznij/zatrzymaj transmisję"));
  script_.Then([&] {
    QtSettingsDialog* dialog = program().settingsDialog();
    if (!dialog || !dialog->isVisible()) return false;
    EXPECT_EQ(Accessible(dialog->Control(SettingsSendDirEdit))->text(QAccessible::Name),
              U8(u8"Wyślij zawartość katalogu"));
    QTest::keyClick(dialog->Control(SettingsLanguageBox), Qt::Key_Down);
    QTest::mouseClick(dialog->Control(SettingsOkButton), Qt::LeftButton);
    return true;
  });
  Click(SettingsButton);
  ASSERT_TRUE(script_.Done());
  ASSERT_TRUE(WaitFor([&] { return program().settingsDialog() == nullptr; }));
  const std::map<int, QString> english = Names();
  EXPECT_EQ(english.at(StartStopButton), "Start/stop transmission");
  EXPECT_EQ(english.at(ErrorsBox), "Errors");
  // Only the lamps' own names, and labels that show nothing, are the same in both languages.
  const std::set<QString> neutral = {"CTS",      "DSR",       "RING",      "RLSD",     "CTS Hold",
                                     "DSR Hold", "RLSD Hold", "XOFF Hold", "XOFF Sent"};
  for (const auto& [id, name] : english) {
    QWidget* widget = Control(id);
    if (widget->focusPolicy() != Qt::NoFocus || qobject_cast<QProgressBar*>(widget)) {
      EXPECT_FALSE(name.isEmpty()) << FindMainWindowControl(id)->name;
    }
    if (!name.isEmpty() && !neutral.count(name) && id != CurrentDirField) {
      EXPECT_NE(name, polish.at(id)) << FindMainWindowControl(id)->name;
    }
  }

  // Opened in English, the settings dialog names its fields in English.
  script_.Then([&] {
    QtSettingsDialog* dialog = program().settingsDialog();
    if (!dialog || !dialog->isVisible()) return false;
    EXPECT_EQ(Accessible(dialog->Control(SettingsSendDirEdit))->text(QAccessible::Name),
              "Send directory content");
    QTest::mouseClick(dialog->Control(SettingsCancelButton), Qt::LeftButton);
    return true;
  });
  Click(SettingsButton);
  EXPECT_TRUE(script_.Done());
}
