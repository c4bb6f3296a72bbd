// The settings dialog (a refused port and name, Apply relabelling the main window, caption help),
// the viewer's keys and paint, F1 help, and the screenshots of the three windows.

#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QWhatsThis>

#include <cstdlib>

#include "frontend/qt/qt_settings_dialog.h"
#include "frontend/qt/qt_viewer.h"
#include "qt_fixture.h"

class QtWindowsTest : public QtFrontEndTest {
 protected:
  QtSettingsDialog* Settings() { return program().settingsDialog(); }
  // A step that waits for the settings dialog, then does `what` with it.
  void WithSettings(std::function<void(QtSettingsDialog*)> what) {
    script_.Then([this, what] {
      QtSettingsDialog* dialog = Settings();
      if (!dialog || !dialog->isVisible()) return false;
      what(dialog);
      return true;
    });
  }
  static void Retype(QWidget* edit, const QString& text) {
    auto* line = qobject_cast<QLineEdit*>(edit);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, text);
  }
};

TEST_F(QtWindowsTest, SettingsRefuseANameAndApplyRelabelsTheMainWindow) {
  Start(Options());
  ShownBox portRefusal, refusal, help, f1Help;
  bool labelsEnglish = false;
  auto portEdit = [](QtSettingsDialog* dialog) {
    return qobject_cast<QComboBox*>(dialog->Control(SettingsPortBox))->lineEdit();
  };
  WithSettings([&](QtSettingsDialog* dialog) {
    labelsEnglish =
        dialog->windowTitle() == "Options" &&
        qobject_cast<QPushButton*>(dialog->Control(SettingsApplyButton))->text() == "Apply" &&
        qobject_cast<QGroupBox*>(dialog->Control(SettingsLanguageGroup))->title() == "Language";
    // COM100 would be stored cut to COM10: refused.
    Retype(portEdit(dialog), "COM100");
    QTest::mouseClick(dialog->Control(SettingsApplyButton), Qt::LeftButton);
  });
  script_.AnswerBox(QMessageBox::Ok, &portRefusal);
  WithSettings([&](QtSettingsDialog* dialog) {
    Retype(portEdit(dialog), "COM12");
    // "DI" begins the directory command "DIR": refused.
    Retype(dialog->Control(SettingsSendFileEdit), "DI");
    QTest::mouseClick(dialog->Control(SettingsApplyButton), Qt::LeftButton);
  });
  script_.AnswerBox(QMessageBox::Ok, &refusal);
  WithSettings([&](QtSettingsDialog* dialog) {
    Retype(dialog->Control(SettingsSendFileEdit), "GET");
    // English is the second entry; one up chooses Polish.
    QTest::keyClick(dialog->Control(SettingsLanguageBox), Qt::Key_Up);
    QTest::mouseClick(dialog->Control(SettingsApplyButton), Qt::LeftButton);
  });
  // Caption help: its button (or Shift+F1), then a control.
  WithSettings([&](QtSettingsDialog* dialog) {
    QTest::keyClick(dialog, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
    QTest::mouseClick(dialog->Control(SettingsSendDirEdit), Qt::LeftButton);
  });
  script_.AnswerBox(QMessageBox::Ok, &help);
  WithSettings([&](QtSettingsDialog* dialog) {
    dialog->Control(SettingsConfirmCheck)->setFocus();
    QTest::keyClick(dialog->Control(SettingsConfirmCheck), Qt::Key_F1);
  });
  script_.AnswerBox(QMessageBox::Ok, &f1Help);
  WithSettings([&](QtSettingsDialog* dialog) {
    QTest::mouseClick(dialog->Control(SettingsOkButton), Qt::LeftButton);
  });
  Click(SettingsButton);
  ASSERT_TRUE(script_.Done());
  EXPECT_TRUE(WaitFor([&] { return Settings() == nullptr; }));
  EXPECT_TRUE(labelsEnglish);
  EXPECT_EQ(portRefusal.text, "Bad port name: 5 characters at most (COM1 to COM99)");
  EXPECT_EQ(refusal.caption, "Error");
  EXPECT_EQ(refusal.text, "Bad name of command to send file");
  EXPECT_EQ(help.caption, U8(u8"Komenda - wyślij zawartość katalogu"));
  EXPECT_TRUE(help.text.startsWith(U8(u8"Aplikacja zmienia katalog na podany po komendzie,")));
  EXPECT_EQ(f1Help.caption, U8(u8"Zmień katalog - potwierdzenie"));
  // Apply relabelled the main window in Polish and saved it all.
  EXPECT_EQ(Text(HelpButton), "Pomoc");
  EXPECT_EQ(Text(ListenButton), U8(u8"Nasłuch"));
  const PortSettings saved = ReadSettingsFile();
  EXPECT_EQ(saved.language, 0);
  EXPECT_STREQ(saved.sendFileCommand, "GET");
  EXPECT_EQ(std::string(saved.portName, sizeof saved.portName), "COM12");

  // F1 on the main window: the focused control explains itself; one without help shows nothing.
  ShownBox listenHelp;
  script_.AnswerBox(QMessageBox::Ok, &listenHelp);
  Control(ListenButton)->setFocus();
  QTest::keyClick(Control(ListenButton), Qt::Key_F1);
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(listenHelp.caption, U8(u8"Nasłuch"));
  EXPECT_TRUE(listenHelp.text.startsWith(U8(u8"Jeśli przycisk jest wciśnięty")));
  Control(ExitButton)->setFocus();
  QTest::keyClick(Control(ExitButton), Qt::Key_F1);
  EXPECT_TRUE(program().MainWindowOpen());
}

TEST_F(QtWindowsTest, ViewerKeysScrollBarsAndPaint) {
  Start(Options());
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + "\tend\n";
  text += std::string(200, 'x') + "\n";
  dir_.Write("lines.txt", text);
  script_.ChooseFile(dir_.File("lines.txt"));
  Click(SendFileButton);
  ASSERT_TRUE(script_.Done());

  Click(ViewTextButton);
  QtViewer* viewer = program().viewer();
  ASSERT_NE(viewer, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
  EXPECT_EQ(viewer->windowTitle(), QString::fromStdString(dir_.File("lines.txt")));
  EXPECT_EQ(viewer->pos(), QPoint(15, 15));
  const ViewerState& state = viewer->state();
  EXPECT_EQ(state.lineCount, 102);
  EXPECT_EQ(state.clientHeight, viewer->viewport()->height());
  QScrollBar* vertical = viewer->verticalScrollBar();
  QScrollBar* horizontal = viewer->horizontalScrollBar();
  EXPECT_EQ(vertical->maximum(), state.maxTopLine);
  EXPECT_GT(state.maxTopLine, 0);
  EXPECT_EQ(horizontal->maximum(), state.maxLeftColumn);

  QTest::keyClick(viewer, Qt::Key_End);
  EXPECT_EQ(state.topLine, state.maxTopLine);
  EXPECT_EQ(vertical->value(), state.maxTopLine);
  QTest::keyClick(viewer, Qt::Key_Home);
  EXPECT_EQ(state.topLine, 0);
  QTest::keyClick(viewer, Qt::Key_Down);
  QTest::keyClick(viewer, Qt::Key_Down);
  EXPECT_EQ(state.topLine, 2);
  QTest::keyClick(viewer, Qt::Key_PageDown);
  EXPECT_EQ(state.topLine, 2 + state.clientHeight / 15);
  QTest::keyClick(viewer, Qt::Key_Up);
  EXPECT_EQ(state.topLine, 1 + state.clientHeight / 15);
  QTest::keyClick(viewer, Qt::Key_PageUp);
  EXPECT_EQ(state.topLine, 1);
  QTest::keyClick(viewer, Qt::Key_Right);
  EXPECT_EQ(state.leftColumn, 1);
  EXPECT_EQ(horizontal->value(), 1);
  QTest::keyClick(viewer, Qt::Key_Left);
  EXPECT_EQ(state.leftColumn, 0);
  // The scroll bar's own step goes through the same arithmetic.
  vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(state.topLine, 2);

  // A paint draws only the lines its rectangle touches, one on either side.
  WaitFor([] { return false; }, 50);
  viewer->viewport()->repaint(QRect(0, 45, 100, 15));
  EXPECT_EQ(viewer->lastPaintedLines().first, state.topLine + 2);
  EXPECT_EQ(viewer->lastPaintedLines().last, state.topLine + 5);

  // The hex view: Left and Right do nothing.
  Click(ViewHexButton);
  viewer = program().viewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->state().hexMode, 1);
  QTest::keyClick(viewer, Qt::Key_Right);
  EXPECT_EQ(viewer->state().leftColumn, 0);
  viewer->close();
  EXPECT_TRUE(WaitFor([&] { return program().viewer() == nullptr; }));

  // HelpButton: the help file in the viewer, or a message when there is none.
  ShownBox noHelp;
  script_.AnswerBox(QMessageBox::Ok, &noHelp);
  Click(HelpButton);
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(noHelp.text, "Can't open help file");
  dir_.Write("pomoc.txt", "Pomoc\r\n");
  Click(HelpButton);
  ASSERT_NE(program().viewer(), nullptr);
  EXPECT_EQ(program().viewer()->windowTitle(), "Pomoc");
}

// Not a check: with TAZO_SCREENSHOTS=<folder>, grabs the three windows in both languages.
TEST_F(QtWindowsTest, Screenshots) {
  const char* folder = std::getenv("TAZO_SCREENSHOTS");
  if (!folder) GTEST_SKIP() << "set TAZO_SCREENSHOTS to a folder to take them";
  const std::string sample =
      "%MPF999\r\nN10 G90 G54 G00 X0 Y0\r\nN20 T1 M06\r\nN30 S1200 M03\r\n"
      "N40 G01 Z-2.5 F150\r\nN50 X40.0\r\nN60 Y25.0\r\nN70 X0\r\nN80 Y0\r\nN90 G00 Z50\r\n"
      "N100 M30\r\n";
  for (int language = 0; language < 2; ++language) {
    const std::string suffix = language == 0 ? "pl" : "en";
    dir_.Write("program.nc", sample);
    if (dir_.Exists("tazo.ini")) {
      PortSettings settings = ReadSettingsFile();
      settings.language = static_cast<uint8_t>(language);
      ASSERT_TRUE(WriteSettingsFile(dir_.File("tazo.ini"), settings));
    }
    Options options;
    options.language = static_cast<uint8_t>(language);
    options.replyDelay = 5;
    Start(options);
    script_.ChooseFile(dir_.File("program.nc"));
    Click(SendFileButton);
    ASSERT_TRUE(script_.Done());
    surface().SetText(ErrorsBox, "12:00:01  (C:2) opening port\r\n");
    const std::string base = std::string(folder) + "/linux-";
    EXPECT_TRUE(window().grab().save(QString::fromStdString(base + "main-" + suffix + ".png")));
    WithSettings([&](QtSettingsDialog* dialog) {
      EXPECT_TRUE(
          dialog->grab().save(QString::fromStdString(base + "settings-" + suffix + ".png")));
      QTest::mouseClick(dialog->Control(SettingsCancelButton), Qt::LeftButton);
    });
    Click(SettingsButton);
    ASSERT_TRUE(script_.Done());
    Click(language == 0 ? ViewTextButton : ViewHexButton);
    ASSERT_NE(program().viewer(), nullptr);
    EXPECT_TRUE(program().viewer()->grab().save(
        QString::fromStdString(base + "viewer-" + (language == 0 ? "text" : "hex") + ".png")));
    Stop();
  }
}
