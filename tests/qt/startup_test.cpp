// Start-up and close: the defaults, the labels in both languages, every control of the template at
// its rectangle and of its kind, the close question answered No and Yes, the settings written.

#include <QCheckBox>
#include <QFontMetrics>
#include <QProgressBar>
#include <QPushButton>

#include "frontend/qt/qt_errors_box.h"
#include "frontend/qt/qt_layout.h"
#include "qt_fixture.h"

namespace {

// Dialog units to pixels, measured here from the window's font: across, a quarter of 1.2 times
// the letters' average width.
QRect Pixels(const QFont& font, int x, int y, int width, int height) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  const double across = ((letters * 6 / 5 / 26 + 1) / 2) / 4.0;
  const double down = metrics.height() / 8.0;
  auto round = [](double value) { return static_cast<int>(value + 0.5); };
  return QRect(round(x * across), round(y * down), round(width * across), round(height * down));
}

}  // namespace

TEST_F(QtFrontEndTest, StartsWithTheTemplateAndClosesOnlyOnYes) {
  Options options;
  options.language = 0;
  options.replyDelay = 5;
  Start(options);

  EXPECT_EQ(window().windowTitle(), "VELTRA - komunikacja RS232");
  EXPECT_EQ(window().minimumSize(), window().maximumSize());
  const QFont font = window().font();
  EXPECT_EQ(window().size(), Pixels(font, 0, 0, 317, 327).size());
  // Every control of the template, at its rectangle.
  for (int i = 0; i < kMainWindowControlCount; ++i) {
    const ControlInfo& info = kMainWindowControls[i];
    const DialogRect* rect = FindMainWindowRect(info.id);
    ASSERT_NE(rect, nullptr) << info.name;
    ASSERT_NE(Control(info.id), nullptr) << info.name;
    EXPECT_EQ(Control(info.id)->geometry(),
              Pixels(font, rect->x, rect->y, rect->width, rect->height))
        << info.name;
  }
  EXPECT_EQ(Control(ErrorsBox)->geometry(), Pixels(font, 181, 200, 125, 70));
  EXPECT_EQ(Control(StartStopButton)->geometry(), Pixels(font, 10, 10, 38, 35));
  EXPECT_EQ(Control(DelayField)->geometry(), Pixels(font, 280, 50, 15, 14));

  // The kinds: lamps the user cannot toggle, checkable push buttons, a two-digit field.
  for (int lamp : {CtsLamp, DsrLamp, RingLamp, RlsdLamp, CtsHoldLamp, DsrHoldLamp, RlsdHoldLamp,
                   XoffHoldLamp, XoffSentLamp}) {
    ASSERT_NE(Get<QCheckBox>(lamp), nullptr);
    Click(lamp);
    EXPECT_FALSE(Checked(lamp));
  }
  EXPECT_TRUE(Get<QPushButton>(ListenButton)->isCheckable());
  EXPECT_TRUE(Get<QPushButton>(VerifyButton)->isCheckable());
  EXPECT_FALSE(Get<QPushButton>(StartStopButton)->isCheckable());
  EXPECT_FALSE(Get<QPushButton>(StartStopButton)->icon().isNull());
  EXPECT_EQ(surface().ShownImage(StartStopButton), StartImage);
  EXPECT_EQ(surface().ShownImage(AnimationImage), FirstAnimationImage);
  EXPECT_FALSE(Get<QLabel>(AnimationImage)->pixmap().isNull());
  auto* errors = dynamic_cast<QtErrorsBox*>(Control(ErrorsBox));
  ASSERT_NE(errors, nullptr);
  EXPECT_EQ(errors->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QTest::keyClicks(errors, "typed");
  EXPECT_EQ(Text(ErrorsBox), "");
  EXPECT_TRUE(Get<QLineEdit>(CountField)->isReadOnly());
  EXPECT_NE(Get<QProgressBar>(ProgressBar), nullptr);

  // The defaults and the Polish labels.
  EXPECT_EQ(Text(DelayField), "5");
  EXPECT_EQ(Text(CurrentDirField), QString::fromStdString(dir_.path()));
  EXPECT_EQ(Text(HelpButton), "Pomoc");
  EXPECT_EQ(Text(ListenButton), U8(u8"Nasłuch"));
  EXPECT_EQ(Text(DelayLabel), U8(u8"Czas do wysłania"));
  EXPECT_EQ(Text(CurrentDirGroup), U8(u8"Bieżący katalog"));
  EXPECT_EQ(Text(ErrorsGroup), U8(u8"Błędy"));
  EXPECT_EQ(Text(ExitButton), U8(u8"Wyjście"));
  EXPECT_EQ(Text(CtsLamp), "CTS");
  EXPECT_EQ(Text(FileCaption), "");
  EXPECT_FALSE(Control(DelayLabel)->isEnabled());
  EXPECT_FALSE(Control(ListenGroup)->isEnabled());

  // DelayField takes two digits and nothing else.
  Get<QLineEdit>(DelayField)->clear();
  QTest::keyClicks(Control(DelayField), "a7x93");
  EXPECT_EQ(Text(DelayField), "79");

  // No keeps everything; Yes closes and saves.
  ShownBox question;
  script_.AnswerBox(QMessageBox::No, &question);
  window().close();
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(question.caption, U8(u8"Wyjście"));
  EXPECT_EQ(question.text, U8(u8"Czy chcesz zamknąć program?"));
  EXPECT_TRUE(program().MainWindowOpen());
  EXPECT_TRUE(window().isVisible());

  dir_.Write("tazo.ini", "");
  script_.AnswerBox(QMessageBox::Yes);
  Click(ExitButton);
  EXPECT_TRUE(script_.Done());
  EXPECT_FALSE(program().MainWindowOpen());
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(ReadSettingsFile().replyDelay, 79);
  Stop();

  // The English labels, and the delay saved at the close.
  PortSettings settings = ReadSettingsFile();
  settings.language = 1;
  ASSERT_TRUE(WriteSettingsFile(dir_.File("tazo.ini"), settings));
  Start(Options());
  EXPECT_EQ(Text(DelayField), "79");
  EXPECT_EQ(Text(HelpButton), "Help");
  EXPECT_EQ(Text(ListenButton), "Listen");
  EXPECT_EQ(Text(DelayLabel), "Time to send");
  EXPECT_EQ(Text(CurrentDirGroup), "Current directory");
  EXPECT_EQ(Text(ViewHexButton), "View hexa");
  EXPECT_EQ(Text(VerifyButton), "Verification");
  EXPECT_EQ(Text(SettingsButton), "Settings");
}
