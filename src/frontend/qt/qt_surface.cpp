#include "frontend/qt/qt_surface.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "frontend/qt/qt_errors_box.h"
#include "frontend/qt/qt_text.h"

namespace {

constexpr uint8_t kReplyTimerNumber = 2;
constexpr int kReplyTimerPeriodMs = 1000;
const QEvent::Type kApplyCallsEvent = static_cast<QEvent::Type>(QEvent::User + 61);

bool OnWindowThread() {
  QCoreApplication* application = QCoreApplication::instance();
  return application && QThread::currentThread() == application->thread();
}

// An edit control's text read as an unsigned number: leading blanks, decimal digits and nothing
// after them; 0 otherwise.
unsigned ParseNumber(const std::string& text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  unsigned long long value = 0;
  size_t digits = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
    value = value * 10 + static_cast<unsigned>(text[at] - '0');
    if (value > UINT_MAX) return 0;
  }
  if (digits == 0 || at != text.size()) return 0;
  return static_cast<unsigned>(value);
}

}  // namespace

void RequireWindowThread() {
  if (!OnWindowThread()) {
    std::fprintf(stderr, "tazo: a widget was touched outside the window thread\n");
    std::abort();
  }
}

// Lives on the window thread and applies the queued calls when woken.
class QtSurface::Waker : public QObject {
 public:
  explicit Waker(QtSurface* surface) : surface_(surface) {}
  bool event(QEvent* event) override {
    // The wake event was made on a worker and came through the toolkit's queue: the surface's
    // lock, taken before the event is looked at, is what orders the two threads.
    surface_->SyncWithWorkers();
    if (event->type() != kApplyCallsEvent) return QObject::event(event);
    surface_->ApplyQueued();
    return true;
  }

 private:
  QtSurface* surface_;
};

QtSurface::QtSurface() {
  RequireWindowThread();
  waker_ = new Waker(this);
  replyTimer_ = new QTimer();
  replyTimer_->setInterval(kReplyTimerPeriodMs);
}

QtSurface::~QtSurface() {
  RequireWindowThread();
  CloseQueue();
  delete replyTimer_;
  delete waker_;
}

void QtSurface::AddControl(int control, ControlKind kind, QWidget* widget) {
  RequireWindowThread();
  Entry& entry = controls_[control];
  entry.kind = kind;
  entry.widget = widget;
  if (kind == ControlKind::kCheckBox) {
    std::lock_guard<std::mutex> hold(lock_);
    lampsAsked_[control] = false;
  }
}

QWidget* QtSurface::Widget(int control) const {
  auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : found->second.widget.data();
}

void QtSurface::AddImage(int image, const QPixmap& pixmap) {
  RequireWindowThread();
  images_[image] = pixmap;
}

void QtSurface::SetReplyTimerTick(std::function<void()> tick) {
  RequireWindowThread();
  QObject::connect(replyTimer_, &QTimer::timeout, replyTimer_, std::move(tick));
}

void QtSurface::CloseQueue() {
  RequireWindowThread();
  std::lock_guard<std::mutex> hold(lock_);
  closed_ = true;
  calls_.clear();
  applied_.notify_all();
}

bool QtSurface::QueueClosed() {
  std::lock_guard<std::mutex> hold(lock_);
  return closed_;
}

void QtSurface::Run(std::function<void()> apply, int lamp, bool checked) {
  const bool onWindow = OnWindowThread();
  std::unique_lock<std::mutex> hold(lock_);
  if (closed_ && !onWindow) return;
  if (lamp) {
    auto asked = lampsAsked_.find(lamp);
    if (asked != lampsAsked_.end() && asked->second == checked) return;
    lampsAsked_[lamp] = checked;
  }
  if (onWindow) {
    // Whatever workers queued before this call goes first.
    std::deque<Call> earlier;
    earlier.swap(calls_);
    const uint64_t last = lastTicket_;
    hold.unlock();
    for (Call& call : earlier) call.apply();
    apply();
    if (!earlier.empty()) {
      hold.lock();
      appliedTicket_ = std::max(appliedTicket_, last);
      applied_.notify_all();
    }
    return;
  }
  const uint64_t ticket = ++lastTicket_;
  const bool wake = calls_.empty();
  calls_.push_back(Call{ticket, std::move(apply)});
  if (wake) {
    // Made under the lock, posted outside it: the toolkit is never called with the lock held.
    QEvent* wakeEvent = new QEvent(kApplyCallsEvent);
    hold.unlock();
    QCoreApplication::postEvent(waker_, wakeEvent);
    hold.lock();
  }
  applied_.wait(hold, [&] { return closed_ || appliedTicket_ >= ticket; });
}

void QtSurface::SyncWithWorkers() {
  std::lock_guard<std::mutex> hold(lock_);
}

void QtSurface::ApplyQueued() {
  RequireWindowThread();
  std::unique_lock<std::mutex> hold(lock_);
  std::deque<Call> queued;
  queued.swap(calls_);
  const uint64_t last = lastTicket_;
  hold.unlock();
  for (Call& call : queued) call.apply();
  hold.lock();
  appliedTicket_ = std::max(appliedTicket_, last);
  applied_.notify_all();
}

QtSurface::Entry* QtSurface::At(int control) {
  RequireWindowThread();
  auto found = controls_.find(control);
  if (found == controls_.end() || !found->second.widget) return nullptr;
  return &found->second;
}

void QtSurface::ApplyText(int control, const QString& text) {
  Entry* entry = At(control);
  if (!entry) return;
  QWidget* widget = entry->widget;
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    // A bitmap button keeps its text for the toolkit's accessibility only.
    if (entry->kind == ControlKind::kBitmapButton) {
      button->setAccessibleName(text);
    } else {
      button->setText(text);
    }
  }
}

void QtSurface::SetText(int control, const char* text) {
  std::string copy = text ? text : "";
  Run([this, control, copy = std::move(copy)] {
    Entry* entry = At(control);
    if (!entry) return;
    if (auto* box = dynamic_cast<QtErrorsBox*>(entry->widget.data())) {
      box->SetText(copy);
    } else {
      ApplyText(control, FromLocal(copy));
    }
  });
}

void QtSurface::AppendText(int control, const char* text) {
  if (!text || !*text) return;
  Run([this, control, text] {
    Entry* entry = At(control);
    if (!entry) return;
    if (auto* box = dynamic_cast<QtErrorsBox*>(entry->widget.data())) box->Append(text);
  });
}

std::string QtSurface::GetText(int control) {
  std::string text;
  Run([this, control, &text] {
    Entry* entry = At(control);
    if (!entry) return;
    QWidget* widget = entry->widget;
    QString shown;
    if (auto* box = dynamic_cast<QtErrorsBox*>(widget)) {
      text = box->text();
      return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
      shown = line->text();
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      shown = label->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      shown = group->title();
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      shown = entry->kind == ControlKind::kBitmapButton ? button->accessibleName() : button->text();
    }
    // A text typed that the core cannot spell reads as empty.
    if (!ToLocal(shown, &text)) text.clear();
  });
  return text;
}

void QtSurface::SetNumber(int control, unsigned value) {
  SetText(control, std::to_string(value).c_str());
}

unsigned QtSurface::GetNumber(int control) {
  return ParseNumber(GetText(control));
}

void QtSurface::LimitText(int control, int characters) {
  Run([this, control, characters] {
    Entry* entry = At(control);
    if (!entry) return;
    if (auto* line = qobject_cast<QLineEdit*>(entry->widget.data())) {
      // 0 gives the toolkit's own limit, as it does for an edit control.
      line->setMaxLength(characters > 0 ? characters : 32767);
    }
  });
}

void QtSurface::SetCheck(int control, bool checked) {
  Entry* known = nullptr;
  {
    auto found = controls_.find(control);
    if (found != controls_.end()) known = &found->second;
  }
  const bool lamp = known && known->kind == ControlKind::kCheckBox;
  Run(
      [this, control, checked] {
        Entry* entry = At(control);
        if (!entry) return;
        if (auto* button = qobject_cast<QAbstractButton*>(entry->widget.data())) {
          button->setChecked(checked);
        }
      },
      lamp ? control : 0, checked);
}

void QtSurface::Enable(int control, bool enabled) {
  Run([this, control, enabled] {
    if (Entry* entry = At(control)) entry->widget->setEnabled(enabled);
  });
}

void QtSurface::ApplyImage(int control, int image) {
  Entry* entry = At(control);
  if (!entry) return;
  entry->image = image;
  auto found = images_.find(image);
  const QPixmap pixmap = found == images_.end() ? QPixmap() : found->second;
  if (auto* button = qobject_cast<QPushButton*>(entry->widget.data())) {
    button->setIcon(pixmap.isNull() ? QIcon() : QIcon(pixmap));
    if (!pixmap.isNull()) button->setIconSize(pixmap.size());
  } else if (auto* label = qobject_cast<QLabel*>(entry->widget.data())) {
    if (pixmap.isNull()) {
      label->clear();
    } else {
      label->setPixmap(pixmap);
    }
  }
}

void QtSurface::SetButtonImage(int control, int image) {
  Run([this, control, image] { ApplyImage(control, image); });
}

void QtSurface::SetStaticImage(int control, int image) {
  Run([this, control, image] { ApplyImage(control, image); });
}

void QtSurface::SetProgressRange(int control, int low, int high) {
  Run([this, control, low, high] {
    Entry* entry = At(control);
    if (!entry) return;
    if (auto* bar = qobject_cast<QProgressBar*>(entry->widget.data())) {
      const int from = static_cast<uint16_t>(low);
      const int to = static_cast<uint16_t>(high);
      bar->setRange(from, std::max(from, to));
      bar->setValue(from);
    }
  });
}

void QtSurface::SetProgressPosition(int control, int position) {
  Run([this, control, position] {
    Entry* entry = At(control);
    if (!entry) return;
    if (auto* bar = qobject_cast<QProgressBar*>(entry->widget.data())) {
      bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    }
  });
}

void QtSurface::SetProgressStep(int control, int step) {
  Run([this, control, step] {
    if (Entry* entry = At(control)) entry->progressStep = step;
  });
}

void QtSurface::StepProgress(int control) {
  Run([this, control] {
    Entry* entry = At(control);
    if (!entry) return;
    if (auto* bar = qobject_cast<QProgressBar*>(entry->widget.data())) {
      const int from = bar->value() < bar->minimum() ? bar->minimum() : bar->value();
      long long next = static_cast<long long>(from) + entry->progressStep;
      // A bar stepped past its end starts over, as the common control does.
      if (next > bar->maximum()) next = bar->minimum();
      if (next < bar->minimum()) next = bar->minimum();
      bar->setValue(static_cast<int>(next));
    }
  });
}

uint8_t QtSurface::StartReplyTimer() {
  bool started = false;
  Run([this, &started] {
    replyTimer_->start();
    started = true;
  });
  return started ? kReplyTimerNumber : 0;
}

void QtSurface::KillReplyTimer(uint8_t timerId) {
  if (timerId != kReplyTimerNumber) return;
  Run([this] { replyTimer_->stop(); });
}

bool QtSurface::ReplyTimerActive() const {
  RequireWindowThread();
  return replyTimer_->isActive();
}

int QtSurface::ShownImage(int control) const {
  RequireWindowThread();
  auto found = controls_.find(control);
  return found == controls_.end() ? 0 : found->second.image;
}
