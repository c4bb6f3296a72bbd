#include "frontend/headless/headless_surface.h"

#include <cctype>
#include <climits>

#include "ui/control_ids.h"

namespace {
constexpr uint8_t kReplyTimerId = 2;
}

unsigned ParseControlNumber(const std::string& text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  if (at == text.size()) return 0;
  unsigned long long value = 0;
  size_t digits = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at, ++digits) {
    value = value * 10 + static_cast<unsigned>(text[at] - '0');
    if (value > UINT_MAX) return 0;
  }
  if (digits == 0 || at != text.size()) return 0;
  return static_cast<unsigned>(value);
}

HeadlessSurface::HeadlessSurface() {
  for (int i = 0; i < kMainWindowControlCount; ++i) {
    const ControlInfo& info = kMainWindowControls[i];
    Control& control = controls_[info.id];
    control.text = info.templateText;
    control.enabled = !info.createdDisabled;
    if (info.id == AnimationImage) control.image = FirstAnimationImage;
  }
}

HeadlessSurface::Control& HeadlessSurface::At(int control) {
  return controls_[control];
}

void HeadlessSurface::Changed() {
  ++changes_;
  changed_.notify_all();
}

void HeadlessSurface::SetText(int control, const char* text) {
  std::lock_guard<std::mutex> hold(lock_);
  Control& target = At(control);
  target.text = text ? text : "";
  target.textHistory.push_back(target.text);
  Changed();
}

void HeadlessSurface::AppendText(int control, const char* text) {
  std::lock_guard<std::mutex> hold(lock_);
  At(control).text += text ? text : "";
  Changed();
}

std::string HeadlessSurface::GetText(int control) {
  std::lock_guard<std::mutex> hold(lock_);
  return At(control).text;
}

void HeadlessSurface::SetNumber(int control, unsigned value) {
  SetText(control, std::to_string(value).c_str());
}

unsigned HeadlessSurface::GetNumber(int control) {
  return ParseControlNumber(GetText(control));
}

void HeadlessSurface::LimitText(int control, int characters) {
  std::lock_guard<std::mutex> hold(lock_);
  At(control).textLimit = characters;
  Changed();
}

void HeadlessSurface::SetCheck(int control, bool checked) {
  std::lock_guard<std::mutex> hold(lock_);
  At(control).checked = checked;
  Changed();
}

void HeadlessSurface::Enable(int control, bool enabled) {
  std::lock_guard<std::mutex> hold(lock_);
  At(control).enabled = enabled;
  Changed();
}

void HeadlessSurface::SetButtonImage(int control, int image) {
  std::lock_guard<std::mutex> hold(lock_);
  At(control).image = image;
  Changed();
}

void HeadlessSurface::SetStaticImage(int control, int image) {
  SetButtonImage(control, image);
}

void HeadlessSurface::SetProgressRange(int control, int low, int high) {
  std::lock_guard<std::mutex> hold(lock_);
  Control& bar = At(control);
  bar.progressLow = static_cast<uint16_t>(low);
  bar.progressHigh = static_cast<uint16_t>(high);
  bar.progressSteps = 0;
  Changed();
}

void HeadlessSurface::SetProgressPosition(int control, int position) {
  std::lock_guard<std::mutex> hold(lock_);
  Control& bar = At(control);
  if (position < bar.progressLow) position = bar.progressLow;
  if (position > bar.progressHigh) position = bar.progressHigh;
  bar.progressPosition = position;
  Changed();
}

void HeadlessSurface::SetProgressStep(int control, int step) {
  std::lock_guard<std::mutex> hold(lock_);
  At(control).progressStep = step;
  Changed();
}

void HeadlessSurface::StepProgress(int control) {
  std::lock_guard<std::mutex> hold(lock_);
  Control& bar = At(control);
  bar.progressPosition += bar.progressStep;
  // A bar stepped past its end starts over, as the common control does.
  if (bar.progressPosition > bar.progressHigh) bar.progressPosition = bar.progressLow;
  ++bar.progressSteps;
  Changed();
}

uint8_t HeadlessSurface::StartReplyTimer() {
  std::function<void(bool)> observer;
  {
    std::lock_guard<std::mutex> hold(lock_);
    replyTimerRunning_ = true;
    ++replyTimerStarts_;
    observer = replyTimerObserver_;
    Changed();
  }
  if (observer) observer(true);
  return kReplyTimerId;
}

void HeadlessSurface::KillReplyTimer(uint8_t timerId) {
  std::function<void(bool)> observer;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (timerId != kReplyTimerId || !replyTimerRunning_) return;
    replyTimerRunning_ = false;
    observer = replyTimerObserver_;
    Changed();
  }
  if (observer) observer(false);
}

void HeadlessSurface::TypeText(int control, const std::string& text) {
  std::string typed;
  {
    std::lock_guard<std::mutex> hold(lock_);
    const Control& target = At(control);
    const ControlInfo* info = FindMainWindowControl(control);
    bool digitsOnly = info && info->kind == ControlKind::kNumberEdit;
    for (char c : text) {
      if (target.textLimit > 0 && typed.size() >= static_cast<size_t>(target.textLimit)) break;
      if (digitsOnly && !std::isdigit(static_cast<unsigned char>(c))) continue;
      typed += c;
    }
  }
  SetText(control, typed.c_str());
}

HeadlessSurface::Control HeadlessSurface::Read(int control) {
  std::lock_guard<std::mutex> hold(lock_);
  return At(control);
}

bool HeadlessSurface::IsChecked(int control) {
  return Read(control).checked;
}
bool HeadlessSurface::IsEnabled(int control) {
  return Read(control).enabled;
}

bool HeadlessSurface::ReplyTimerRunning() {
  std::lock_guard<std::mutex> hold(lock_);
  return replyTimerRunning_;
}

int HeadlessSurface::ReplyTimerStarts() {
  std::lock_guard<std::mutex> hold(lock_);
  return replyTimerStarts_;
}

void HeadlessSurface::SetReplyTimerObserver(std::function<void(bool)> observer) {
  std::lock_guard<std::mutex> hold(lock_);
  replyTimerObserver_ = std::move(observer);
}

bool HeadlessSurface::WaitUntil(const std::function<bool()>& condition,
                                std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    uint64_t seen;
    {
      std::lock_guard<std::mutex> hold(lock_);
      seen = changes_;
    }
    if (condition()) return true;
    std::unique_lock<std::mutex> hold(lock_);
    // State outside the surface (flags, files) changes without notice: look again now and then.
    auto wake =
        std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    changed_.wait_until(hold, wake, [&] { return changes_ != seen; });
    if (std::chrono::steady_clock::now() >= deadline) {
      hold.unlock();
      return condition();
    }
  }
}
