#include "frontend/qt/qt_viewer.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "core/app_state.h"
#include "frontend/qt/qt_surface.h"
#include "frontend/qt/qt_text.h"

namespace {

int ViewerKeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Home:
      return kKeyHome;
    case Qt::Key_End:
      return kKeyEnd;
    case Qt::Key_PageUp:
      return kKeyPageUp;
    case Qt::Key_PageDown:
      return kKeyPageDown;
    case Qt::Key_Up:
      return kKeyUp;
    case Qt::Key_Down:
      return kKeyDown;
    case Qt::Key_Left:
      return kKeyLeft;
    case Qt::Key_Right:
      return kKeyRight;
    default:
      return 0;
  }
}

// The slider's actions as the scroll requests of the model; -1 for none.
int ScrollRequestOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      return kScrollLineDown;
    case QAbstractSlider::SliderSingleStepSub:
      return kScrollLineUp;
    case QAbstractSlider::SliderPageStepAdd:
      return kScrollPageDown;
    case QAbstractSlider::SliderPageStepSub:
      return kScrollPageUp;
    case QAbstractSlider::SliderToMinimum:
      return kScrollTop;
    case QAbstractSlider::SliderToMaximum:
      return kScrollBottom;
    case QAbstractSlider::SliderMove:
      return kScrollThumbTrack;
    default:
      return -1;
  }
}

// The fixed-pitch face at the largest size whose characters fit the model's cells.
QFont CellFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  for (int pixels = kViewerLineHeight - 1; pixels > 6; --pixels) {
    font.setPixelSize(pixels);
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(QLatin1Char('M')) <= kViewerCharWidth &&
        metrics.height() <= kViewerLineHeight) {
      break;
    }
  }
  return font;
}

}  // namespace

QtViewer::QtViewer(QWidget* owner, std::unique_ptr<ViewerState> viewer, const QString& title)
    : QAbstractScrollArea(owner), viewer_(std::move(viewer)), font_(CellFont()) {
  RequireWindowThread();
  InstallAccessibleLinesFactory();
  setWindowFlags(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(title);
  setWindowIcon(QIcon(QStringLiteral(":/resources/viewer_122.ico")));
  setFrameShape(QFrame::NoFrame);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  setFocusPolicy(Qt::StrongFocus);
  QObject::connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
                   [this](int action) { ScrollBarAction(true, action); });
  QObject::connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
                   [this](int action) { ScrollBarAction(false, action); });
  // Created at the model's size, then moved to where the model puts it.
  resize(kViewerInitialWidth - 2 * kViewerBorderWidth,
         kViewerInitialHeight - 2 * kViewerBorderWidth);
  move(kViewerMovedX, kViewerMovedY);
  app.viewerWindow = this;
}

QtViewer::~QtViewer() {
  CloseViewerState(viewer_.get());
  if (app.viewerWindow == this) app.viewerWindow = nullptr;
}

void QtViewer::UpdateBars(const ScrollBars& bars) {
  QScrollBar* vertical = verticalScrollBar();
  QScrollBar* horizontal = horizontalScrollBar();
  const QSignalBlocker holdVertical(vertical);
  const QSignalBlocker holdHorizontal(horizontal);
  vertical->setRange(0, static_cast<int>(std::min<int64_t>(bars.verticalMax, INT32_MAX)));
  vertical->setPageStep(std::max(1, viewer_->clientHeight / kViewerLineHeight));
  vertical->setValue(static_cast<int>(bars.verticalPosition));
  horizontal->setRange(0, static_cast<int>(std::min<int64_t>(bars.horizontalMax, INT32_MAX)));
  horizontal->setPageStep(std::max(1, viewer_->clientWidth / kViewerCharWidth));
  horizontal->setValue(static_cast<int>(bars.horizontalPosition));
}

void QtViewer::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateBars(ResizeViewer(viewer_.get(), viewport()->width(), viewport()->height()));
}

void QtViewer::scrollContentsBy(int, int) {
  // The model says what moves; the scroll bars only report what the user does.
}

void QtViewer::ScrollBarAction(bool vertical, int action) {
  const int request = ScrollRequestOf(action);
  if (request < 0) return;
  QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
  // Thumb positions travel in 16 bits.
  const uint16_t thumb = static_cast<uint16_t>(bar->sliderPosition());
  const ScrollOutcome outcome = vertical ? ScrollViewerVertically(viewer_.get(), request, thumb)
                                         : ScrollViewerHorizontally(viewer_.get(), request, thumb);
  Show(outcome);
  // The bar stays where the model says, whatever it would have done itself.
  bar->setSliderPosition(static_cast<int>(vertical ? viewer_->topLine : viewer_->leftColumn));
}

void QtViewer::Show(const ScrollOutcome& outcome) {
  if (!outcome.changed) return;
  if (outcome.repaintAll) {
    viewport()->update();
  } else {
    viewport()->scroll(0, static_cast<int>(outcome.scrollPixels));
  }
  QScrollBar* bar = outcome.vertical ? verticalScrollBar() : horizontalScrollBar();
  const QSignalBlocker hold(bar);
  bar->setValue(static_cast<int>(outcome.position));
}

void QtViewer::keyPressEvent(QKeyEvent* event) {
  const int key = ViewerKeyOf(event->key());
  if (!key) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  Show(ViewerKeyDown(viewer_.get(), key));
  event->accept();
}

void QtViewer::paintEvent(QPaintEvent* event) {
  const QRect update = event->rect();
  lastPainted_ = ViewerPaintRange(*viewer_, update.top(), update.top() + update.height());
  QPainter painter(viewport());
  painter.setFont(font_);
  painter.setPen(palette().color(QPalette::Text));
  const int ascent = QFontMetrics(font_).ascent();
  const size_t columns = ViewerVisibleColumns(*viewer_);
  for (int64_t line = lastPainted_.first; line <= lastPainted_.last; ++line) {
    const QString text = FromLocal(FormatViewerLine(viewer_.get(), line, columns));
    const int y = static_cast<int>(ViewerLineY(*viewer_, line)) + ascent;
    // One character per cell, so that columns line up whatever the face's own advance.
    for (int column = 0; column < text.size(); ++column) {
      if (text[column] == QLatin1Char(' ')) continue;
      painter.drawText(static_cast<int>(ViewerLineX()) + column * kViewerCharWidth, y,
                       QString(text[column]));
    }
  }
}

const QtViewer::ShownLines& QtViewer::LinesInView() const {
  const ViewerState& v = *viewer_;
  if (shown_.topLine == v.topLine && shown_.leftColumn == v.leftColumn &&
      shown_.clientWidth == v.clientWidth && shown_.clientHeight == v.clientHeight) {
    return shown_;
  }
  shown_ = ShownLines{v.topLine, v.leftColumn, v.clientWidth, v.clientHeight, {}, {}, 0};
  const size_t columns = ViewerVisibleColumns(v);
  const int64_t rows = (std::max(v.clientHeight, 0) + kViewerLineHeight - 1) / kViewerLineHeight;
  const int64_t last = std::min<int64_t>(v.lineCount, v.topLine + std::max<int64_t>(rows, 1));
  for (int64_t line = v.topLine; line < last; ++line) {
    if (!shown_.lines.empty()) ++shown_.length;  // the "\n" between lines
    shown_.starts.push_back(shown_.length);
    shown_.lines.push_back(FromLocal(FormatViewerLine(viewer_.get(), line, columns)));
    shown_.length += shown_.lines.back().size();
  }
  return shown_;
}

int64_t QtViewer::AccessibleLineCount() const {
  return static_cast<int64_t>(LinesInView().lines.size());
}
int64_t QtViewer::AccessibleLineStart(int64_t line) const {
  return LinesInView().starts[static_cast<size_t>(line)];
}
QString QtViewer::AccessibleLine(int64_t line) const {
  return LinesInView().lines[static_cast<size_t>(line)];
}
int64_t QtViewer::AccessibleLength() const {
  return LinesInView().length;
}
