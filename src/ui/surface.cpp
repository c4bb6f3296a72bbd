#include "ui/surface.h"

#include "core/app_state.h"

namespace {
Surface* Window() {
  return app.mainWindow.load();
}
}  // namespace

void SetControlText(int control, const char* text) {
  if (Surface* window = Window()) window->SetText(control, text);
}
void AppendControlText(int control, const char* text) {
  if (Surface* window = Window()) window->AppendText(control, text);
}
std::string GetControlText(int control) {
  Surface* window = Window();
  return window ? window->GetText(control) : std::string();
}
size_t GetControlTextLength(int control) {
  return GetControlText(control).size();
}
void SetControlNumber(int control, unsigned value) {
  if (Surface* window = Window()) window->SetNumber(control, value);
}
unsigned GetControlNumber(int control) {
  Surface* window = Window();
  return window ? window->GetNumber(control) : 0;
}
void LimitControlText(int control, int characters) {
  if (Surface* window = Window()) window->LimitText(control, characters);
}
void CheckControl(int control, bool checked) {
  if (Surface* window = Window()) window->SetCheck(control, checked);
}
void EnableControl(int control, bool enabled) {
  if (Surface* window = Window()) window->Enable(control, enabled);
}
void SetButtonImage(int control, int image) {
  if (Surface* window = Window()) window->SetButtonImage(control, image);
}
void SetStaticImage(int control, int image) {
  if (Surface* window = Window()) window->SetStaticImage(control, image);
}
void SetProgressRange(int control, int low, int high) {
  if (Surface* window = Window()) window->SetProgressRange(control, low, high);
}
void SetProgressPosition(int control, int position) {
  if (Surface* window = Window()) window->SetProgressPosition(control, position);
}
void SetProgressStep(int control, int step) {
  if (Surface* window = Window()) window->SetProgressStep(control, step);
}
void StepProgress(int control) {
  if (Surface* window = Window()) window->StepProgress(control);
}
uint8_t StartReplyTimer() {
  Surface* window = Window();
  const uint8_t timerId = window ? window->StartReplyTimer() : 0;
  if (timerId != 0) app.runningReplyTimer = timerId;
  return timerId;
}
void KillReplyTimer(uint8_t timerId) {
  if (Surface* window = Window()) window->KillReplyTimer(timerId);
  uint8_t running = timerId;
  if (timerId != 0) app.runningReplyTimer.compare_exchange_strong(running, 0);
}
bool ReplyTimerRunning() {
  return app.runningReplyTimer.load() != 0;
}
