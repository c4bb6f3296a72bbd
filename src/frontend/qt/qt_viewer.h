#pragma once

#include <QAbstractScrollArea>
#include <QFont>

#include <memory>
#include <vector>

#include "frontend/qt/qt_accessible_lines.h"
#include "viewer/viewer.h"

// The file viewer ("MemWnd") over the portable viewer model: a fixed-pitch font in cells of the
// model's size, both scroll bars, the keys of its key table, and a paint that draws only the lines
// its update rectangle touches. Screen readers get the lines in view as they are shown.
class QtViewer : public QAbstractScrollArea, public AccessibleLines {
 public:
  // A viewer window owned by `owner` on `viewer`, which has been opened and measured.
  QtViewer(QWidget* owner, std::unique_ptr<ViewerState> viewer, const QString& title);
  ~QtViewer() override;

  const ViewerState& state() const { return *viewer_; }
  // The lines the last paint drew (first > last when it drew none).
  LineRange lastPaintedLines() const { return lastPainted_; }

  int64_t AccessibleLineCount() const override;
  int64_t AccessibleLineStart(int64_t line) const override;
  QString AccessibleLine(int64_t line) const override;
  int64_t AccessibleLength() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void ScrollBarAction(bool vertical, int action);
  void Show(const ScrollOutcome& outcome);
  void UpdateBars(const ScrollBars& bars);

  std::unique_ptr<ViewerState> viewer_;
  QFont font_;
  LineRange lastPainted_{0, -1};

  // The lines in view as last read for accessibility, and the view they were read for.
  struct ShownLines {
    int64_t topLine = -1, leftColumn = -1;
    int clientWidth = -1, clientHeight = -1;
    std::vector<QString> lines;
    std::vector<int64_t> starts;
    int64_t length = 0;
  };
  const ShownLines& LinesInView() const;
  mutable ShownLines shown_;
};
