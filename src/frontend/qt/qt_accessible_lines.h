#pragma once

#include <QString>

#include <cstdint>

// A widget that paints its lines itself and shows them to assistive technology as one read-only,
// multi-line text: the lines joined by "\n", offsets counted in UTF-16 units of that text.
class AccessibleLines {
 public:
  virtual ~AccessibleLines() = default;
  virtual int64_t AccessibleLineCount() const = 0;
  // Where line `line` begins in the joined text; rises with `line`, 0 for the first.
  virtual int64_t AccessibleLineStart(int64_t line) const = 0;
  // Line `line` without its "\n".
  virtual QString AccessibleLine(int64_t line) const = 0;
  virtual int64_t AccessibleLength() const = 0;
  virtual int64_t AccessibleCaret() const { return 0; }
};

// Lets Qt's accessibility find the text of every widget that is AccessibleLines; run once before
// such a widget is made.
void InstallAccessibleLinesFactory();
