#pragma once

#include <cstdint>
#include <string>

// The operations through which all logic touches the main window. Each front end implements them
// over its own toolkit; calls from worker threads are applied on the window thread, in call order,
// and the caller waits until each is applied.
class Surface {
 public:
  virtual ~Surface() = default;

  virtual void SetText(int control, const char* text) = 0;
  // Appends at the caret (ErrorsBox): successive calls append in order, nothing is dropped.
  virtual void AppendText(int control, const char* text) = 0;
  virtual std::string GetText(int control) = 0;
  virtual void SetNumber(int control, unsigned value) = 0;
  // Unsigned, 0 when the text is empty or not a number.
  virtual unsigned GetNumber(int control) = 0;
  // The most characters the user may type (EM_LIMITTEXT).
  virtual void LimitText(int control, int characters) = 0;
  virtual void SetCheck(int control, bool checked) = 0;
  virtual void Enable(int control, bool enabled) = 0;
  virtual void SetButtonImage(int control, int image) = 0;
  virtual void SetStaticImage(int control, int image) = 0;
  // The progress range is 16 bits wide: the upper limit keeps its low 16 bits.
  virtual void SetProgressRange(int control, int low, int high) = 0;
  virtual void SetProgressPosition(int control, int position) = 0;
  virtual void SetProgressStep(int control, int step) = 0;
  virtual void StepProgress(int control) = 0;
  // Timer 2 of the main window: the one-second reply countdown. Returns its identifier.
  virtual uint8_t StartReplyTimer() = 0;
  virtual void KillReplyTimer(uint8_t timerId) = 0;
};

// The same operations on the main window of the application state; each does nothing (and reads
// back empty or 0) while no main window exists.
void SetControlText(int control, const char* text);
void AppendControlText(int control, const char* text);
std::string GetControlText(int control);
size_t GetControlTextLength(int control);
void SetControlNumber(int control, unsigned value);
unsigned GetControlNumber(int control);
void LimitControlText(int control, int characters);
void CheckControl(int control, bool checked);
void EnableControl(int control, bool enabled);
void SetButtonImage(int control, int image);
void SetStaticImage(int control, int image);
void SetProgressRange(int control, int low, int high);
void SetProgressPosition(int control, int position);
void SetProgressStep(int control, int step);
void StepProgress(int control);
uint8_t StartReplyTimer();
void KillReplyTimer(uint8_t timerId);
// Whether the reply countdown runs: DelayField then shows the seconds left, not the delay.
bool ReplyTimerRunning();
