#include "frontend/service/service_surface.h"

#include "frontend/headless/headless_surface.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"

namespace {

// Drops whole lines from the front of `text` until it is at most `limit` bytes long.
void KeepNewest(std::string* text, size_t limit) {
  if (text->size() <= limit) return;
  size_t cut = text->find('\n', text->size() - limit - 1);
  cut = cut == std::string::npos ? text->size() : cut + 1;
  text->erase(0, cut);
}

}  // namespace

ServiceSurface::ServiceSurface(EventLoop& loop) : loop_(loop) {}

void ServiceSurface::SetText(int control, const char* text) {
  std::lock_guard<std::mutex> hold(lock_);
  std::string& target = texts_[control];
  target = text ? text : "";
  if (control == ErrorsBox) {
    KeepNewest(&target, kErrorsBoxLimit);
    // A box emptied before its lines were logged: they never reach the log, nor the journal.
    newErrorLines_.clear();
  }
}

void ServiceSurface::AppendText(int control, const char* text) {
  std::lock_guard<std::mutex> hold(lock_);
  std::string& target = texts_[control];
  target += text ? text : "";
  if (control != ErrorsBox) return;
  KeepNewest(&target, kErrorsBoxLimit);
  newErrorLines_ += text ? text : "";
  KeepNewest(&newErrorLines_, kErrorsBoxLimit);
}

std::string ServiceSurface::GetText(int control) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = texts_.find(control);
  return found == texts_.end() ? std::string() : found->second;
}

void ServiceSurface::SetNumber(int control, unsigned value) {
  SetText(control, std::to_string(value).c_str());
}

unsigned ServiceSurface::GetNumber(int control) {
  return ParseControlNumber(GetText(control));
}

// Nothing is typed into the service's controls, and nothing of these is read back.
void ServiceSurface::LimitText(int, int) {}
void ServiceSurface::SetCheck(int, bool) {}
void ServiceSurface::Enable(int, bool) {}
void ServiceSurface::SetButtonImage(int, int) {}
void ServiceSurface::SetStaticImage(int, int) {}
void ServiceSurface::SetProgressRange(int, int, int) {}
void ServiceSurface::SetProgressPosition(int, int) {}
void ServiceSurface::SetProgressStep(int, int) {}
void ServiceSurface::StepProgress(int) {}

uint8_t ServiceSurface::StartReplyTimer() {
  // The loop's timer changes under this lock, so a start and a kill from two threads land in the
  // order they were made.
  std::lock_guard<std::mutex> hold(lock_);
  replyTimerRunning_ = true;
  loop_.SetTimer(kReplyTimerId, kReplyTimerPeriodMs);
  return kReplyTimerId;
}

void ServiceSurface::KillReplyTimer(uint8_t timerId) {
  if (timerId != kReplyTimerId) return;
  std::lock_guard<std::mutex> hold(lock_);
  replyTimerRunning_ = false;
  loop_.KillTimer(kReplyTimerId);
}

bool ServiceSurface::ReplyTimerRunning() {
  std::lock_guard<std::mutex> hold(lock_);
  return replyTimerRunning_;
}

std::string ServiceSurface::TakeNewErrorLines() {
  std::lock_guard<std::mutex> hold(lock_);
  std::string lines;
  lines.swap(newErrorLines_);
  return lines;
}
