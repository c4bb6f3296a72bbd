#pragma once

#include <QAbstractScrollArea>
#include <QFont>

#include <memory>

#include "viewer/viewer.h"

// The file viewer ("MemWnd") over the portable viewer model: a fixed-pitch font in cells of the
// model's size, both scroll bars, the keys of its key table, and a paint that draws only the lines
// its update rectangle touches.
class QtViewer : public QAbstractScrollArea {
 public:
  // A viewer window owned by `owner` on `viewer`, which has been opened and measured.
  QtViewer(QWidget* owner, std::unique_ptr<ViewerState> viewer, const QString& title);
  ~QtViewer() override;

  const ViewerState& state() const { return *viewer_; }
  // The lines the last paint drew (first > last when it drew none).
  LineRange lastPaintedLines() const { return lastPainted_; }

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
};
