#include "frontend/qt/qt_errors_box.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "frontend/qt/qt_text.h"

namespace {
constexpr int kMargin = 2;
}  // namespace

QtErrorsBox::QtErrorsBox(QWidget* parent) : QAbstractScrollArea(parent) {
  InstallAccessibleLinesFactory();
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  UpdateBar();
}

void QtErrorsBox::IndexFrom(size_t offset) {
  // Each byte shows as one character, and "\r" as none.
  for (size_t at = offset; at < text_.size(); ++at) {
    if (text_[at] == '\r') continue;
    ++shownLength_;
    if (text_[at] == '\n') {
      starts_.push_back(static_cast<uint32_t>(at + 1));
      shownStarts_.push_back(static_cast<uint32_t>(shownLength_));
    }
  }
}

int64_t QtErrorsBox::AccessibleLineStart(int64_t line) const {
  return shownStarts_[static_cast<size_t>(line)];
}

void QtErrorsBox::SetText(const std::string& text) {
  const bool announce = QAccessible::isActive();
  const QString before = announce ? DisplayText() : QString();
  text_ = text;
  starts_.assign(1, 0);
  shownStarts_.assign(1, 0);
  shownLength_ = 0;
  IndexFrom(0);
  ShowEnd();
  if (announce) {
    QAccessibleTextUpdateEvent event(this, 0, before, DisplayText());
    QAccessible::updateAccessibility(&event);
  }
}

void QtErrorsBox::Append(const char* text) {
  const size_t from = text_.size();
  const int64_t shownFrom = shownLength_;
  text_ += text;
  IndexFrom(from);
  ShowEnd();
  // The newest line is read out as it arrives, when a screen reader listens.
  if (QAccessible::isActive()) {
    QString added = FromLocal(text);
    added.remove(QLatin1Char('\r'));
    QAccessibleTextInsertEvent event(
        this, static_cast<int>(std::min<int64_t>(shownFrom, INT32_MAX)), added);
    QAccessible::updateAccessibility(&event);
  }
}

QString QtErrorsBox::Line(int64_t line) const {
  const size_t start = starts_[static_cast<size_t>(line)];
  size_t end = static_cast<size_t>(line) + 1 < starts_.size()
                   ? starts_[static_cast<size_t>(line) + 1] - 1
                   : text_.size();
  QString shown = FromLocal(text_.substr(start, end - start));
  shown.remove(QLatin1Char('\r'));
  return shown;
}

QString QtErrorsBox::DisplayText() const {
  QString shown = FromLocal(text_);
  shown.remove(QLatin1Char('\r'));
  return shown;
}

std::vector<QString> QtErrorsBox::Rows(int64_t line) const {
  const QString text = Line(line);
  const QFontMetrics metrics(font());
  const int width = std::max(1, viewport()->width() - 2 * kMargin);
  std::vector<QString> rows;
  int start = 0;
  while (metrics.horizontalAdvance(text.mid(start)) > width) {
    // The longest part that fits, cut after its last space when it has one.
    int fits = 1;
    while (start + fits < text.size() &&
           metrics.horizontalAdvance(text.mid(start, fits + 1)) <= width) {
      ++fits;
    }
    const int space = text.lastIndexOf(QLatin1Char(' '), start + fits - 1);
    if (space > start && space < start + fits) fits = space - start + 1;
    rows.push_back(text.mid(start, fits));
    start += fits;
  }
  rows.push_back(text.mid(start));
  return rows;
}

void QtErrorsBox::ShowEnd() {
  // The last lines that fill the box, counted from the end backwards.
  const int rowsShown = std::max(1, viewport()->height() / QFontMetrics(font()).lineSpacing());
  int64_t top = lineCount() - 1;
  int used = static_cast<int>(Rows(top).size());
  while (top > 0) {
    const int more = static_cast<int>(Rows(top - 1).size());
    if (used + more > rowsShown) break;
    used += more;
    --top;
  }
  topLine_ = top;
  UpdateBar();
  viewport()->update();
}

void QtErrorsBox::UpdateBar() {
  QScrollBar* bar = verticalScrollBar();
  const QSignalBlocker hold(bar);
  const int last = static_cast<int>(std::min<int64_t>(lineCount() - 1, INT32_MAX));
  bar->setRange(0, std::max(0, last));
  bar->setPageStep(std::max(1, viewport()->height() / QFontMetrics(font()).lineSpacing()));
  bar->setValue(static_cast<int>(topLine_));
}

void QtErrorsBox::scrollContentsBy(int, int) {
  topLine_ = verticalScrollBar()->value();
  viewport()->update();
}

void QtErrorsBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  ShowEnd();
}

void QtErrorsBox::keyPressEvent(QKeyEvent* event) {
  QScrollBar* bar = verticalScrollBar();
  switch (event->key()) {
    case Qt::Key_Up:
      bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
      break;
    case Qt::Key_Down:
      bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      break;
    case Qt::Key_PageUp:
      bar->triggerAction(QAbstractSlider::SliderPageStepSub);
      break;
    case Qt::Key_PageDown:
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
      break;
    case Qt::Key_Home:
      bar->triggerAction(QAbstractSlider::SliderToMinimum);
      break;
    case Qt::Key_End:
      ShowEnd();
      break;
    case Qt::Key_C:
      // The box has no selection of its own: a copy takes all its lines.
      if (!(event->modifiers() & Qt::ControlModifier))
        return QAbstractScrollArea::keyPressEvent(event);
      QGuiApplication::clipboard()->setText(DisplayText());
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void QtErrorsBox::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
  const QFontMetrics metrics(font());
  const int rowHeight = metrics.lineSpacing();
  const int bottom = event->rect().bottom();
  int y = kMargin;
  for (int64_t line = topLine_; line < lineCount() && y <= bottom; ++line) {
    for (const QString& row : Rows(line)) {
      if (y + rowHeight >= event->rect().top()) {
        painter.drawText(kMargin, y + metrics.ascent(), row);
      }
      y += rowHeight;
    }
  }
}
