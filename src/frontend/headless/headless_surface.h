#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/surface.h"

// The main window kept in memory: every control's text, check, enabled state, image and progress
// state, readable back by tests and tools. Safe to call from any thread; each call is applied whole
// and in call order.
class HeadlessSurface : public Surface {
 public:
  struct Control {
    std::string text;
    bool checked = false;
    bool enabled = true;
    int image = 0;
    int textLimit = 0;  // 0: the toolkit's own limit
    uint16_t progressLow = 0;
    uint16_t progressHigh = 100;
    int progressPosition = 0;
    int progressStep = 10;
    int progressSteps = 0;                 // StepProgress calls since the range was last set
    std::vector<std::string> textHistory;  // every text set, in order
  };

  // The controls of the main window with their template texts and initial states.
  HeadlessSurface();

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

  // What the user does: typing replaces the text as an edit control would, keeping its limit
  // (and only digits in a number field).
  void TypeText(int control, const std::string& text);

  Control Read(int control);
  bool IsChecked(int control);
  bool IsEnabled(int control);
  bool ReplyTimerRunning();
  int ReplyTimerStarts();
  // Called on the thread that starts or kills timer 2 (the headless front end ticks it).
  void SetReplyTimerObserver(std::function<void(bool running)> observer);

  // Blocks until `condition` (called with the surface unlocked) holds or the timeout passes;
  // wakes at every change of the surface. Returns the condition's last value.
  bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

 private:
  Control& At(int control);
  void Changed();

  std::mutex lock_;
  std::condition_variable changed_;
  uint64_t changes_ = 0;
  std::map<int, Control> controls_;
  bool replyTimerRunning_ = false;
  int replyTimerStarts_ = 0;
  std::function<void(bool)> replyTimerObserver_;
};

// Reads an edit control's text as GetDlgItemInt does for an unsigned number: leading blanks
// skipped, decimal digits, nothing else after them; 0 when it is not such a number.
unsigned ParseControlNumber(const std::string& text);
