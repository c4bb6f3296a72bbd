#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_app.h"
#include "frontend/qt/qt_main_window.h"
#include "frontend/qt/qt_program.h"
#include "frontend/qt/qt_surface.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"

// What a message box showed.
struct ShownBox {
  QString caption;
  QString text;
};

// Steps carried out on the window thread while the test itself is held in a modal loop (a message
// box, a file dialog, the settings dialog): each step returns false while what it waits for is not
// there yet. A modal window that no step expects is closed and recorded.
class ModalScript {
 public:
  ModalScript();
  void Then(std::function<bool()> step) { steps_.push_back(std::move(step)); }
  bool Done() const { return steps_.empty(); }
  void Clear() { steps_.clear(); }
  const std::vector<QString>& unexpected() const { return unexpected_; }

  // Answers the next message box with `button`, noting what it showed.
  void AnswerBox(QMessageBox::StandardButton button, ShownBox* shown = nullptr);
  // Chooses `path` in the next file dialog, noting its title.
  void ChooseFile(const std::string& path, QString* title = nullptr);

 private:
  void Tick();
  std::deque<std::function<bool()>> steps_;
  std::vector<QString> unexpected_;
  bool stepDue_ = false;
  QTimer timer_;
};

// The program started with the Qt front end in a temporary start directory, with a
// pseudo-terminal linked as "COM1".
class QtFrontEndTest : public ::testing::Test {
 protected:
  struct Options {
    uint8_t language = 1;
    uint8_t replyDelay = 0;
    bool withPort = true;
  };

  void SetUp() override;
  void TearDown() override;

  void Start(const Options& options);
  // The program ended as the test harness does it: destroyed without asking, engines awaited.
  void Stop();

  QtProgram& program() { return *program_; }
  QtMainWindow& window() { return *program_->mainWindow(); }
  QtSurface& surface() { return *program_->surface(); }
  PtyPair& peer() { return *pty_; }
  QWidget* Control(int id) { return window().Control(id); }
  template <class T>
  T* Get(int id) {
    return qobject_cast<T*>(Control(id));
  }
  // The text a control shows.
  QString Text(int id);
  bool Checked(int id) { return Get<QAbstractButton>(id)->isChecked(); }
  void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
  // Runs the event loop until `condition` holds or the time is up.
  bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000);
  // What the peer reads until the byte 3 (included), or all it got by the deadline.
  std::string ReadReply(int timeoutMs = 20000);

  PortSettings ReadSettingsFile();

  TempDir dir_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<QtProgram> program_;
  ModalScript script_;
  std::string originalDirectory_;
};

// Readable in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

// Windows-1250 bytes of core text as the toolkit shows them; literals in UTF-8 for the tests.
inline QString U8(const char* text) {
  return QString::fromUtf8(text);
}
