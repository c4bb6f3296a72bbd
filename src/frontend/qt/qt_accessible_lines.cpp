#include "frontend/qt/qt_accessible_lines.h"

#include <QAccessibleWidget>
#include <QWidget>

#include <algorithm>
#include <climits>

namespace {

// The role and state of a read-only multi-line edit, the text and its lines from the widget.
class AccessibleLinesInterface : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  AccessibleLinesInterface(QWidget* widget, const AccessibleLines* lines)
      : QAccessibleWidget(widget, QAccessible::EditableText), lines_(lines) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.editable = false;
    return state;
  }

  QString text(QAccessible::Text which) const override {
    if (which == QAccessible::Value) return text(0, characterCount());
    return QAccessibleWidget::text(which);
  }

  QString text(int start, int end) const override {
    start = std::clamp(start, 0, characterCount());
    end = std::clamp(end, start, characterCount());
    QString joined;
    for (int64_t line = LineAt(start); line < lines_->AccessibleLineCount(); ++line) {
      const int64_t from = lines_->AccessibleLineStart(line);
      if (from >= end) break;
      QString part = lines_->AccessibleLine(line);
      if (line + 1 < lines_->AccessibleLineCount()) part += QLatin1Char('\n');
      const int64_t skip = std::max<int64_t>(0, start - from);
      joined += part.mid(static_cast<qsizetype>(skip), static_cast<qsizetype>(end - from - skip));
    }
    return joined;
  }

  int characterCount() const override {
    return static_cast<int>(std::min<int64_t>(lines_->AccessibleLength(), INT_MAX));
  }

  // Lines are looked up in the widget's own table, never by searching the whole text.
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                       int* end) const override {
    if (!ByLine(type)) return QAccessibleTextInterface::textAtOffset(offset, type, start, end);
    return LineText(LineAt(offset), start, end);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                           int* end) const override {
    if (!ByLine(type)) return QAccessibleTextInterface::textBeforeOffset(offset, type, start, end);
    return LineText(LineAt(offset) - 1, start, end);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                          int* end) const override {
    if (!ByLine(type)) return QAccessibleTextInterface::textAfterOffset(offset, type, start, end);
    return LineText(LineAt(offset) + 1, start, end);
  }

  int cursorPosition() const override {
    return static_cast<int>(std::min<int64_t>(lines_->AccessibleCaret(), INT_MAX));
  }
  void setCursorPosition(int) override {}
  // Nothing can be selected, and nothing is placed where a point could find it.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  QRect characterRect(int) const override { return QRect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* start, int* end) const override {
    *start = *end = offset;
    return QString();
  }

 private:
  static bool ByLine(QAccessible::TextBoundaryType type) {
    return type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary;
  }

  // The line holding `offset`; an offset past the end belongs to the last line.
  int64_t LineAt(int64_t offset) const {
    int64_t low = 0;
    int64_t high = lines_->AccessibleLineCount() - 1;
    while (low < high) {
      const int64_t middle = low + (high - low + 1) / 2;
      if (lines_->AccessibleLineStart(middle) <= offset) {
        low = middle;
      } else {
        high = middle - 1;
      }
    }
    return std::max<int64_t>(low, 0);
  }

  // Line `line` with its "\n", and where it lies; empty outside the text.
  QString LineText(int64_t line, int* start, int* end) const {
    if (line < 0 || line >= lines_->AccessibleLineCount()) {
      *start = *end = -1;
      return QString();
    }
    QString shown = lines_->AccessibleLine(line);
    if (line + 1 < lines_->AccessibleLineCount()) shown += QLatin1Char('\n');
    *start = static_cast<int>(std::min<int64_t>(lines_->AccessibleLineStart(line), INT_MAX));
    *end = static_cast<int>(std::min<int64_t>(*start + int64_t{shown.size()}, INT_MAX));
    return shown;
  }

  const AccessibleLines* lines_;
};

QAccessibleInterface* CreateAccessibleLines(const QString&, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  auto* lines = dynamic_cast<AccessibleLines*>(object);
  if (!widget || !lines) return nullptr;
  return new AccessibleLinesInterface(widget, lines);
}

}  // namespace

void InstallAccessibleLinesFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(CreateAccessibleLines);
    return true;
  }();
  static_cast<void>(installed);
}
