#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "frontend/headless/event_loop.h"
#include "ui/surface.h"

// The main window of the service: no one looks at it, so it keeps only what the logic reads back
// (texts and numbers) and nothing of what the eye would need (images, lamps, progress, history).
// It runs for months: ErrorsBox keeps its newest lines up to a bound, and what was appended to it
// waits in a journal queue until the log block holding it is written. Timer 2 ticks on the
// service's event loop. Safe to call from any thread; each call is applied whole.
class ServiceSurface : public Surface {
 public:
  // ErrorsBox keeps at most this many bytes, dropping its oldest lines first: the bound of the
  // window program's edit control, so that a log block is never larger than there.
  static constexpr size_t kErrorsBoxLimit = 30000;

  explicit ServiceSurface(EventLoop& loop);

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

  bool ReplyTimerRunning();
  // The lines appended to ErrorsBox since the last call, and forgets them.
  std::string TakeNewErrorLines();

 private:
  std::mutex lock_;
  EventLoop& loop_;
  std::map<int, std::string> texts_;
  std::string newErrorLines_;
  bool replyTimerRunning_ = false;
};
