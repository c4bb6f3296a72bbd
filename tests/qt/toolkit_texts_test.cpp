// The toolkit's own texts (the file dialog, its overwrite question, the standard buttons) follow
// the language setting, from the start and after Apply; the program's own texts stay its own.

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTranslator>

#include "frontend/qt/qt_settings_dialog.h"
#include "qt_fixture.h"

namespace {

QStringList Sorted(QStringList texts) {
  texts.sort();
  return texts;
}

QStringList ButtonTexts(const QList<QAbstractButton*>& buttons) {
  QStringList texts;
  for (const QAbstractButton* button : buttons) texts << button->text();
  return Sorted(texts);
}

// What the toolkit showed for one choice of a file to receive into and one close question.
struct ToolkitTexts {
  QString fileNameLabel;
  QStringList dialogButtons;
  QString question;
  QStringList questionButtons;
  QString closeText;
  QStringList closeButtons;
};

}  // namespace

class QtToolkitTextsTest : public QtFrontEndTest {
 protected:
  // Receives into `name`, which exists (the dialog asks before replacing it, and is told Yes),
  // then answers No to the close question.
  ToolkitTexts Shown(const std::string& name) {
    ToolkitTexts shown;
    script_.Then([&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return false;
      shown.fileNameLabel = dialog->findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text();
      shown.dialogButtons = ButtonTexts(dialog->findChild<QDialogButtonBox*>()->buttons());
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
          ->setText(QString::fromStdString(dir_.File(name)));
      // Outside this step: the question it asks runs a modal loop of its own.
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      return true;
    });
    auto answer = [](QString* text, QStringList* buttons, QMessageBox::StandardButton button) {
      return [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return false;
        *text = box->text();
        *buttons = ButtonTexts(box->buttons());
        QTest::mouseClick(box->button(button), Qt::LeftButton);
        return true;
      };
    };
    script_.Then(answer(&shown.question, &shown.questionButtons, QMessageBox::Yes));
    // The file dialog closes only once the question's loop has returned: until then it is still
    // the modal window, and an expected one.
    script_.Then(
        [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) == nullptr; });
    Click(ReceiveFileButton);
    EXPECT_TRUE(WaitFor([&] { return script_.Done(); }));
    EXPECT_TRUE(Text(FileCaption).endsWith(QString::fromStdString(name)));
    script_.Then(answer(&shown.closeText, &shown.closeButtons, QMessageBox::No));
    Click(ExitButton);
    EXPECT_TRUE(script_.Done());
    return shown;
  }
};

TEST_F(QtToolkitTextsTest, FileDialogQuestionAndButtonsFollowTheLanguage) {
  QTranslator polish;
  ASSERT_TRUE(
      polish.load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      << "the toolkit's translations are not installed";
  auto pl = [&](const char* context, const char* source) {
    const QString text = polish.translate(context, source);
    EXPECT_FALSE(text.isEmpty() || text == QLatin1String(source)) << source;
    return text;
  };
  const char* question = "%1 already exists.\nDo you want to replace it?";
  dir_.Write("part.nc", "N10\r\n");

  Options options;
  options.language = 0;
  Start(options);
  const ToolkitTexts polishTexts = Shown("part.nc");
  EXPECT_EQ(polishTexts.fileNameLabel, pl("QFileDialog", "File &name:"));
  EXPECT_EQ(polishTexts.dialogButtons,
            Sorted({pl("QPlatformTheme", "Cancel"), pl("QFileDialog", "&Save")}));
  EXPECT_EQ(polishTexts.question, pl("QFileDialog", question).arg("part.nc"));
  EXPECT_EQ(polishTexts.questionButtons,
            Sorted({pl("QPlatformTheme", "&No"), pl("QPlatformTheme", "&Yes")}));
  EXPECT_EQ(polishTexts.closeText, U8(u8"Czy chcesz zamknąć program?"));
  EXPECT_EQ(polishTexts.closeButtons, polishTexts.questionButtons);

  // English chosen and applied: the toolkit follows at once.
  script_.Then([&] {
    QtSettingsDialog* dialog = program().settingsDialog();
    if (!dialog || !dialog->isVisible()) return false;
    QTest::keyClick(dialog->Control(SettingsLanguageBox), Qt::Key_Down);
    QTest::mouseClick(dialog->Control(SettingsApplyButton), Qt::LeftButton);
    QTest::mouseClick(dialog->Control(SettingsCancelButton), Qt::LeftButton);
    return true;
  });
  Click(SettingsButton);
  ASSERT_TRUE(script_.Done());
  const ToolkitTexts english = Shown("part.nc");
  EXPECT_EQ(english.fileNameLabel, "File &name:");
  EXPECT_EQ(english.dialogButtons, Sorted({"&Save", "Cancel"}));
  EXPECT_EQ(english.question, QString::fromLatin1(question).arg("part.nc"));
  EXPECT_EQ(english.questionButtons, Sorted({"&No", "&Yes"}));
  EXPECT_EQ(english.closeText, "Do you want to close application?");
  EXPECT_EQ(english.closeButtons, english.questionButtons);
}
