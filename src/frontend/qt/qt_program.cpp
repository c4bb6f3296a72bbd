#include "frontend/qt/qt_program.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>

#include <cstring>
#include <string>

#include "core/app_state.h"
#include "core/lifecycle.h"
#include "core/local_text.h"
#include "frontend/qt/qt_language.h"
#include "frontend/qt/qt_main_window.h"
#include "frontend/qt/qt_settings_dialog.h"
#include "frontend/qt/qt_surface.h"
#include "frontend/qt/qt_text.h"
#include "frontend/qt/qt_viewer.h"
#include "platform/posix/termination_signals.h"
#include "ui/control_ids.h"
#include "ui/front_end_hooks.h"
#include "ui/main_window.h"
#include "viewer/viewer.h"

namespace {

// The platform's default caption of a message box given none.
constexpr const char* kDefaultCaption = "Error";

struct Bitmap {
  int image;
  const char* resource;
};
const Bitmap kBitmaps[] = {
    {FirstAnimationImage + 0, ":/resources/frame_125.bmp"},
    {FirstAnimationImage + 1, ":/resources/frame_126.bmp"},
    {FirstAnimationImage + 2, ":/resources/frame_127.bmp"},
    {FirstAnimationImage + 3, ":/resources/frame_128.bmp"},
    {FirstAnimationImage + 4, ":/resources/frame_129.bmp"},
    {StartImage, ":/resources/start_119.bmp"},
    {StopImage, ":/resources/stop_118.bmp"},
};

// The save-file (receive) or open-file (send) dialog in the current directory. On success the
// chosen file's folder is the current directory and its name is in `name`.
bool ChooseFile(bool save, const char* title, char* name, size_t width) {
  for (;;) {
    QFileDialog dialog(nullptr, FromLocal(title), QDir::currentPath());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The desktop's own dialog would speak the desktop's language, not the program's.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QFileInfo chosen(dialog.selectedFiles().first());
    std::string local;
    std::string folder;
    // The core spells names in Windows-1250: a name it cannot spell is not a file it can use.
    if (ToLocal(chosen.fileName(), &local) && ToLocal(chosen.absolutePath(), &folder) &&
        local.size() < width && QDir::setCurrent(chosen.absolutePath())) {
      std::memcpy(name, local.c_str(), local.size() + 1);
      return true;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kDefaultCaption),
                    FromLocal(LocalText("Niewłaściwy plik", "Invalid file")), QMessageBox::Ok);
    box.exec();
  }
}

}  // namespace

QtProgram::QtProgram() {
  animationTimer_.setTimerType(Qt::CoarseTimer);
}

QtProgram::~QtProgram() {
  if (!finished_) Finish(10000);
}

QtSettingsDialog* QtProgram::settingsDialog() const {
  return settings_.data();
}
QtViewer* QtProgram::viewer() const {
  return viewer_.data();
}

bool QtProgram::Start() {
  RequireWindowThread();
  const StartUpOutcome outcome = RunStartUpSteps();
  if (outcome.refusal != StartRefusal::kNone) {
    ShowStartRefusal(outcome);
    return false;
  }
  FollowLanguageInToolkit();

  // A bitmap that cannot be loaded leaves no image.
  surface_ = std::make_unique<QtSurface>();
  for (const Bitmap& bitmap : kBitmaps) {
    QPixmap pixmap(QString::fromLatin1(bitmap.resource));
    if (!pixmap.isNull()) surface_->AddImage(bitmap.image, pixmap);
    const int handle = pixmap.isNull() ? NoImage : bitmap.image;
    if (bitmap.image == StartImage) {
      app.startImage = handle;
    } else if (bitmap.image == StopImage) {
      app.stopImage = handle;
    } else {
      app.animationImages[bitmap.image - FirstAnimationImage] = handle;
    }
  }

  window_ = new QtMainWindow(surface_.get());
  surface_->SetReplyTimerTick([] { HandleMainWindowTimer(kReplyTimerId); });
  QObject::connect(&animationTimer_, &QTimer::timeout, window_,
                   [] { HandleMainWindowTimer(kAnimationTimerId); });
  InstallHooks();

  // The template's own bitmap, until timer 1 shows the others.
  surface_->SetStaticImage(AnimationImage, app.animationImages[0]);
  app.mainWindow = surface_.get();
  InitMainWindow();
  open_ = true;
  window_->show();

  const int signalFd = platform::WatchTerminationSignals();
  if (signalFd >= 0) {
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, window_, [this] {
      platform::TakeTerminationSignal();
      EndOnSignal();
    });
  }
  return true;
}

void QtProgram::ShowStartRefusal(const StartUpOutcome& outcome) {
  char reason[kRefusalTextWidth];
  FormatStartRefusal(outcome, reason, sizeof reason);
  // The folder as the file system spells it, which may be what the program could not.
  QString text = FromLocal(reason);
  const QString folder = QDir::currentPath();
  if (!folder.isEmpty()) text += QStringLiteral(":\n") + QDir::toNativeSeparators(folder);
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kDefaultCaption), text,
                  QMessageBox::Ok);
  box.exec();
}

void QtProgram::EndOnSignal() {
  // A message box or a file dialog open at the moment ends as if cancelled; its own loop returns
  // once this one has run.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (!modal->close()) break;
  }
  DestroyMainWindow();
}

void QtProgram::InstallHooks() {
  FrontEndHooks hooks;
  hooks.chooseReceiveFile = [](const char* title, char* name, size_t width) {
    return ChooseFile(true, title, name, width);
  };
  hooks.chooseSendFile = [](const char* title, char* name, size_t width) {
    return ChooseFile(false, title, name, width);
  };
  hooks.showMessage = [this](const char* text, const char* caption, MessageBoxButtons buttons) {
    const bool yesNo = buttons == MessageBoxButtons::kYesNo;
    QMessageBox box(QMessageBox::NoIcon,
                    caption ? FromLocal(caption) : QString::fromLatin1(kDefaultCaption),
                    FromLocal(text), yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    open_ ? window_ : nullptr);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    const int answer = box.exec();
    if (!yesNo) return MessageBoxAnswer::kOk;
    return answer == QMessageBox::Yes ? MessageBoxAnswer::kYes : MessageBoxAnswer::kNo;
  };
  hooks.showSettingsDialog = [this] { ShowSettingsDialog(); };
  hooks.openViewer = [this](std::shared_ptr<platform::File> file, const char* title, int mode) {
    DestroyViewer();
    auto state = std::make_unique<ViewerState>();
    if (!OpenViewerState(state.get(), std::move(file), mode)) {
      QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kViewerOpenFailedCaption),
                      QString::fromLatin1(kViewerOpenFailedText), QMessageBox::Ok, window_);
      box.exec();
      return;
    }
    MeasureViewerLines(state.get());
    viewer_ = new QtViewer(window_, std::move(state), FromLocal(title));
    viewer_->show();
  };
  hooks.destroyViewer = [this] { DestroyViewer(); };
  hooks.startAnimationTimer = [this](int periodMs) {
    animationTimer_.start(periodMs);
    return kAnimationTimerId;
  };
  hooks.destroyMainWindow = [this] { DestroyMainWindow(); };
  hooks.quitEventLoop = [this] {
    // From here no worker waits on the window: the loop is ending.
    surface_->CloseQueue();
    loopEnded_ = true;
    loop_.quit();
  };
  SetFrontEndHooks(hooks);
}

void QtProgram::ShowSettingsDialog() {
  // Modal in its own loop but without an owner: the main window stays usable meanwhile, and a
  // second press brings the open dialog to the front.
  if (settings_) {
    settings_->raise();
    settings_->activateWindow();
    return;
  }
  QPointer<QtSettingsDialog> dialog = new QtSettingsDialog();
  settings_ = dialog;
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->SetAppliedHook([this] {
    FollowLanguageInToolkit();
    window_->NameControls();
  });
  QEventLoop modal;
  QObject::connect(dialog, &QDialog::finished, &modal, &QEventLoop::quit);
  QObject::connect(dialog, &QObject::destroyed, &modal, &QEventLoop::quit);
  dialog->show();
  modal.exec();
}

void QtProgram::DestroyViewer() {
  if (viewer_) delete viewer_.data();
}

void QtProgram::DestroyMainWindow() {
  if (!open_) return;
  open_ = false;
  if (settings_) delete settings_.data();
  DestroyViewer();
  animationTimer_.stop();
  // The shut-down steps, which end the event loop. Timer 2 stops only after them: the settings
  // they save tell a running countdown from the delay by it.
  HandleMainWindowDestroy();
  surface_->KillReplyTimer(kReplyTimerId);
  window_->hide();
}

void QtProgram::Run() {
  if (!loopEnded_) loop_.exec();
  loopEnded_ = true;
}

bool QtProgram::Finish(uint32_t timeoutMs) {
  if (finished_) return true;
  finished_ = true;
  if (signalNotifier_) {
    signalNotifier_.reset();
    platform::StopWatchingTerminationSignals();
  }
  if (!surface_) return true;
  DestroyMainWindow();
  surface_->CloseQueue();
  const bool ended = WaitForEnginesToEnd(timeoutMs);
  // A worker still running finds the queue closed and never reaches a widget.
  delete window_;
  window_ = nullptr;
  SetFrontEndHooks(FrontEndHooks());
  if (ended) {
    app.mainWindow = nullptr;
    surface_.reset();
  } else {
    static_cast<void>(surface_.release());
  }
  ReleaseStartDirectory();
  DropToolkitTranslation();
  return ended;
}
