#include "qt_fixture.h"

#include <unistd.h>

#include <QEventLoop>

#include <climits>
#include <cstring>
#include <fstream>

#include "frontend/headless/headless_app.h"
#include "frontend/qt/qt_errors_box.h"
#include "platform/system.h"
#include "settings/settings_file.h"

ModalScript::ModalScript() {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Tick(); });
  timer_.start();
}

void ModalScript::Tick() {
  if (steps_.empty()) {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      unexpected_.push_back(modal->windowTitle() + ": " + (box ? box->text() : QString()));
      modal->close();
    }
    return;
  }
  if (stepDue_) return;
  // Run from a timer of its own, so that this one keeps ticking inside a modal loop the step
  // opens; taken off first, so that the next step is the one run there.
  stepDue_ = true;
  QTimer::singleShot(0, &timer_, [this] {
    stepDue_ = false;
    if (steps_.empty()) return;
    std::function<bool()> step = std::move(steps_.front());
    steps_.pop_front();
    if (!step()) steps_.push_front(std::move(step));
  });
}

void ModalScript::AnswerBox(QMessageBox::StandardButton button, ShownBox* shown) {
  Then([button, shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return false;
    if (shown) *shown = ShownBox{box->windowTitle(), box->text()};
    QAbstractButton* answer = box->button(button);
    if (!answer) answer = box->buttons().first();
    QTest::mouseClick(answer, Qt::LeftButton);
    return true;
  });
}

void ModalScript::ChooseFile(const std::string& path, QString* title) {
  Then([path, title] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return false;
    if (title) *title = dialog->windowTitle();
    // Typed into the name field, as a user does (selectFile leaves a focused field alone).
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) return false;
    name->setText(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();
    // A dialog still loading its folder may not take it yet: again at the next tick.
    return !dialog->isVisible();
  });
}

void QtFrontEndTest::SetUp() {
  char directory[PATH_MAX];
  ASSERT_NE(getcwd(directory, sizeof directory), nullptr);
  originalDirectory_ = directory;
}

void QtFrontEndTest::TearDown() {
  Stop();
  ASSERT_EQ(chdir(originalDirectory_.c_str()), 0);
  EXPECT_TRUE(script_.unexpected().empty())
      << "unexpected window: " << script_.unexpected().front().toStdString();
}

void QtFrontEndTest::Start(const Options& options) {
  ClearAppState();
  if (options.withPort && !pty_) {
    pty_ = std::make_unique<PtyPair>();
    pty_->LinkAs(dir_.path(), "COM1");
  }
  if (!dir_.Exists("tazo.ini")) {
    PortSettings settings = MachineLineSettings("9600", dir_.path());
    settings.language = options.language;
    settings.replyDelay = options.replyDelay;
    ASSERT_TRUE(WriteSettingsFile(dir_.File("tazo.ini"), settings));
  }
  // The program takes the directory it starts in as its start directory.
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  program_ = std::make_unique<QtProgram>();
  ASSERT_TRUE(program_->Start()) << "the start directory was refused";
  ASSERT_TRUE(QTest::qWaitForWindowExposed(program_->mainWindow()));
}

void QtFrontEndTest::Stop() {
  script_.Clear();
  if (program_) {
    EXPECT_TRUE(program_->Finish(20000)) << "an engine outlived the program";
  }
  program_.reset();
  ClearAppState();
}

QString QtFrontEndTest::Text(int id) {
  QWidget* widget = Control(id);
  if (auto* box = dynamic_cast<QtErrorsBox*>(widget)) return box->DisplayText();
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return line->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  return QString();
}

bool QtFrontEndTest::WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const uint64_t deadline = platform::MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs);
  while (!condition()) {
    if (platform::MonotonicMilliseconds() >= deadline) return condition();
    // Woken at once by what arrives (a worker's call among it), or after a short while.
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
    // Windows closed at the test's own level are deleted here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return true;
}

std::string QtFrontEndTest::ReadReply(int timeoutMs) {
  std::string got;
  const uint64_t deadline = platform::MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs);
  while (platform::MonotonicMilliseconds() < deadline) {
    WaitFor([] { return false; }, 20);
    std::vector<uint8_t> part = peer().ReadAvailable(4096, 1);
    got.append(part.begin(), part.end());
    if (!got.empty() && got.back() == 3) break;
  }
  return got;
}

PortSettings QtFrontEndTest::ReadSettingsFile() {
  PortSettings settings;
  std::memset(&settings, 0, sizeof settings);
  const std::vector<uint8_t> bytes = dir_.Read("tazo.ini");
  EXPECT_EQ(bytes.size(), sizeof settings);
  std::memcpy(&settings, bytes.data(), std::min(bytes.size(), sizeof settings));
  return settings;
}
