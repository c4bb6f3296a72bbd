#pragma once

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "ui/control_ids.h"
#include "ui/surface.h"

// The main window's controls as the surface of the portable logic. A call on the window thread is
// applied at once; a call from any other thread is queued, the window thread is woken with an
// event, and the caller waits until its call has been applied, so that calls take effect whole
// and in call order. Once the queue is closed (the event loop has ended) a worker's call is
// dropped at once and reads back empty or 0.
class QtSurface : public Surface {
 public:
  // Created on the window thread, which is the only one that touches widgets.
  QtSurface();
  ~QtSurface() override;
  QtSurface(const QtSurface&) = delete;
  QtSurface& operator=(const QtSurface&) = delete;

  // The widget that shows `control`, before any call reaches it.
  void AddControl(int control, ControlKind kind, QWidget* widget);
  QWidget* Widget(int control) const;
  // The bitmaps by resource number; number 0 shows no image.
  void AddImage(int image, const QPixmap& pixmap);
  // Timer 2 runs `tick` every second on the window thread while it is started.
  void SetReplyTimerTick(std::function<void()> tick);

  // Ends the queue: what waits is released unapplied, later calls from workers do nothing.
  void CloseQueue();
  bool QueueClosed();

  void SetText(int control, const char* text) override;
  void AppendText(int control, const char* text) override;
  std::string GetText(int control) override;
  void SetNumber(int control, unsigned value) override;
  unsigned GetNumber(int control) override;
  void LimitText(int control, int characters) override;
  void SetCheck(int control, bool checked) override;
  void Enable(int control, bool enabled) override;
  void SetButtonImage(int control, int image) override;
  void SetStaticImage(int control, int image) override;
  void SetProgressRange(int control, int low, int high) override;
  void SetProgressPosition(int control, int position) override;
  void SetProgressStep(int control, int step) override;
  void StepProgress(int control) override;
  uint8_t StartReplyTimer() override;
  void KillReplyTimer(uint8_t timerId) override;

  // For tests and tools, on the window thread: whether timer 2 runs, and the resource number
  // each image control shows.
  bool ReplyTimerActive() const;
  int ShownImage(int control) const;

 private:
  struct Entry {
    ControlKind kind;
    QPointer<QWidget> widget;
    int image = 0;
    int progressStep = 10;
  };
  struct Call {
    uint64_t ticket;
    std::function<void()> apply;
  };
  class Waker;

  // Runs `apply` on the window thread in call order. A lamp's check that repeats the state last
  // asked for is already in effect and is not queued again.
  void Run(std::function<void()> apply, int lamp = 0, bool checked = false);
  void ApplyQueued();
  void SyncWithWorkers();
  Entry* At(int control);
  void ApplyText(int control, const QString& text);
  void ApplyImage(int control, int image);

  std::map<int, Entry> controls_;
  std::map<int, QPixmap> images_;
  class QTimer* replyTimer_ = nullptr;
  Waker* waker_ = nullptr;

  std::mutex lock_;
  std::condition_variable applied_;
  std::deque<Call> calls_;
  uint64_t lastTicket_ = 0;
  uint64_t appliedTicket_ = 0;
  bool closed_ = false;
  std::map<int, bool> lampsAsked_;
};

// Aborts unless called on the thread that owns the widgets.
void RequireWindowThread();
