#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <memory>

class QtMainWindow;
struct StartUpOutcome;
class QtSettingsDialog;
class QtSurface;
class QtViewer;

// The program on Qt: start-up in the current directory, the main window and its event loop, the
// dialogs and message boxes the portable handlers ask for, the two timers, and the shut-down. The
// application state is process-wide, so one QtProgram at a time, on the thread of the
// QApplication.
class QtProgram {
 public:
  QtProgram();
  // Ends the program if it still runs (the shut-down steps without asking) and finishes it.
  ~QtProgram();
  QtProgram(const QtProgram&) = delete;
  QtProgram& operator=(const QtProgram&) = delete;

  // The start-up sequence in the current directory, ending with the main window shown. False when
  // the directory is refused (one the program cannot hold, or where another program runs): a
  // message box has said why, and nothing else happened.
  bool Start();
  // Runs the event loop until the main window has been destroyed.
  void Run();
  // After the loop: the call queue closed, engine threads waited for, the windows freed. The
  // surface is freed only when every engine has ended (otherwise the process keeps it). Returns
  // whether they ended.
  bool Finish(uint32_t timeoutMs);

  // The main window destroyed without asking (its destroy handler runs).
  void DestroyMainWindow();
  // SIGTERM, SIGINT or SIGHUP: the program ends as after a confirmed close, without the question.
  void EndOnSignal();
  bool MainWindowOpen() const { return open_; }

  QtMainWindow* mainWindow() const { return window_; }
  QtSurface* surface() const { return surface_.get(); }
  QtSettingsDialog* settingsDialog() const;
  QtViewer* viewer() const;
  QTimer& animationTimer() { return animationTimer_; }

 private:
  void InstallHooks();
  void ShowSettingsDialog();
  void DestroyViewer();
  void ShowStartRefusal(const StartUpOutcome& outcome);

  std::unique_ptr<QtSurface> surface_;
  QtMainWindow* window_ = nullptr;
  QPointer<QtSettingsDialog> settings_;
  QPointer<QtViewer> viewer_;
  QTimer animationTimer_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  QEventLoop loop_;
  bool open_ = false;
  bool loopEnded_ = false;
  bool finished_ = false;
};
