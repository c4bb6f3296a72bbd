#pragma once

#include <QAbstractScrollArea>

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/qt/qt_accessible_lines.h"

// ErrorsBox: a read-only multi-line text with a vertical scroll bar, kept as the core wrote it
// (Windows-1250, CR LF line ends). Appending only extends a line table and painting converts the
// lines in view, so that a verification's million lines show at once; long lines wrap at word
// boundaries. Each change shows the end of the text, as an edit control shows its caret. Screen
// readers get the lines as shown, with each line that arrives announced.
class QtErrorsBox : public QAbstractScrollArea, public AccessibleLines {
 public:
  explicit QtErrorsBox(QWidget* parent);

  void SetText(const std::string& text);
  void Append(const char* text);
  const std::string& text() const { return text_; }
  // The text as shown: UTF-16, one "\n" per line end.
  QString DisplayText() const;
  int64_t lineCount() const { return static_cast<int64_t>(starts_.size()); }
  int64_t topLine() const { return topLine_; }

  int64_t AccessibleLineCount() const override { return lineCount(); }
  int64_t AccessibleLineStart(int64_t line) const override;
  QString AccessibleLine(int64_t line) const override { return Line(line); }
  int64_t AccessibleLength() const override { return shownLength_; }
  // The caret of an edit control that shows its end.
  int64_t AccessibleCaret() const override { return shownLength_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void IndexFrom(size_t offset);
  QString Line(int64_t line) const;
  // The rows line `line` takes at the current width.
  std::vector<QString> Rows(int64_t line) const;
  void ShowEnd();
  void UpdateBar();

  std::string text_;
  std::vector<uint32_t> starts_{0};
  // Where each line begins in the text as shown (one character a byte, no "\r"), and its length.
  std::vector<uint32_t> shownStarts_{0};
  int64_t shownLength_ = 0;
  int64_t topLine_ = 0;
};
