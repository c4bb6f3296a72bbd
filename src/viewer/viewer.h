#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

// The file viewer ("MemWnd") as data: the line table, the line texts, the size and scroll
// arithmetic. A front end creates its window from these numbers and draws what they say.

// Fixed layout values, not measured from the font.
constexpr int kViewerCharWidth = 8;      // pixels per column, also the left margin
constexpr int kViewerLineHeight = 15;    // pixels per line
constexpr int kViewerHeightBasis = 600;  // the initial window is half as high
constexpr int kViewerBorderWidth = 2;
constexpr int kViewerScrollBarWidth = 20;
constexpr int kHexLineWidth = 76;  // widestLine of every hex view
constexpr int kHexBytesPerLine = 16;
constexpr int kHexPadWidth = 59;  // offset and hex fields, padded, before the character column
constexpr int kViewerBlockSize = 1024;

// The window: created at (0, 0) with this size, then moved to (15, 15) keeping it.
constexpr const char* kViewerClassName = "MemWnd";
constexpr int kViewerInitialWidth =
    (kHexLineWidth + 1) * kViewerCharWidth + kViewerScrollBarWidth + 2 * kViewerBorderWidth;
constexpr int kViewerInitialHeight = kViewerHeightBasis / 2;
constexpr int kViewerMovedX = 15;
constexpr int kViewerMovedY = 15;
// The client area of that window where no toolkit measures it: the borders and one scroll bar
// off each way.
constexpr int kViewerDefaultClientWidth =
    kViewerInitialWidth - 2 * kViewerBorderWidth - kViewerScrollBarWidth;
constexpr int kViewerDefaultClientHeight =
    kViewerInitialHeight - 2 * kViewerBorderWidth - kViewerScrollBarWidth;

// The message box for a viewer opened without a file, the same in every language.
constexpr const char* kViewerOpenFailedText = "Can't open file";
constexpr const char* kViewerOpenFailedCaption = "Error";

// One text line: where it starts in the file and how many columns it takes (tabs as 8).
struct ViewerLine {
  uint64_t start;
  uint64_t width;
};

struct ViewerState {
  std::shared_ptr<platform::File> file;  // the viewer's own handle
  uint64_t fileSize = 0;                 // taken when opened
  int clientWidth = 0;
  int clientHeight = 0;
  int64_t topLine = 0;
  int64_t maxTopLine = 0;
  int64_t leftColumn = 0;
  int64_t maxLeftColumn = 0;
  int64_t lineCount = 0;
  int64_t widestLine = 0;
  int lastLineBytes = 0;          // hex view: bytes on a partial last line, 0 when it is full
  int hexMode = 0;                // 0 text, any other value hex
  std::vector<ViewerLine> lines;  // text view only
};

// Scroll requests as the window system numbers them (SB_*); the horizontal ones share the values.
enum ScrollRequest : int {
  kScrollLineUp = 0,  // SB_LINEUP, SB_LINELEFT
  kScrollLineDown = 1,
  kScrollPageUp = 2,
  kScrollPageDown = 3,
  kScrollThumbPosition = 4,
  kScrollThumbTrack = 5,
  kScrollTop = 6,  // SB_TOP, SB_LEFT
  kScrollBottom = 7,
  kScrollEnd = 8,  // SB_ENDSCROLL
};

// Virtual key codes the viewer understands.
enum ViewerKeyCode : int {
  kKeyPageUp = 0x21,    // VK_PRIOR
  kKeyPageDown = 0x22,  // VK_NEXT
  kKeyEnd = 0x23,
  kKeyHome = 0x24,
  kKeyLeft = 0x25,
  kKeyUp = 0x26,
  kKeyRight = 0x27,
  kKeyDown = 0x28,
};

struct ViewerKey {
  int key;
  bool vertical;  // WM_VSCROLL, otherwise WM_HSCROLL
  int request;
};
extern const ViewerKey ViewerKeyTable[8];

// What a scroll did: nothing, or the new position and how the window shows it: its pixels moved
// by `scrollPixels` (vertical only) or the whole client area repainted.
struct ScrollOutcome {
  bool changed = false;
  bool vertical = true;
  int64_t change = 0;
  bool repaintAll = false;
  int64_t scrollPixels = 0;
  int64_t position = 0;
};

// Both scroll bars after a size change: range 0 to max (0 to 0 hides the bar), and position.
struct ScrollBars {
  int64_t verticalMax;
  int64_t verticalPosition;
  int64_t horizontalMax;
  int64_t horizontalPosition;
};

// Lines first to last (none when first > last) that a paint of an update rectangle draws.
struct LineRange {
  int64_t first;
  int64_t last;
};

// A viewer on `file`, mode 0 text, 1 hex; takes the handle. False (and nothing kept) for a null
// handle: the front end then shows kViewerOpenFailedText with kViewerOpenFailedCaption.
bool OpenViewerState(ViewerState* viewer, std::shared_ptr<platform::File> file, int mode);
// The window's creation: measures the lines (text) or computes them (hex).
void MeasureViewerLines(ViewerState* viewer);
// The window's destruction: drops the line table and the viewer's handle.
void CloseViewerState(ViewerState* viewer);

ScrollBars ResizeViewer(ViewerState* viewer, int clientWidth, int clientHeight);
// `thumb` is the 16-bit thumb position of the scroll message.
ScrollOutcome ScrollViewerVertically(ViewerState* viewer, int request, uint16_t thumb);
ScrollOutcome ScrollViewerHorizontally(ViewerState* viewer, int request, uint16_t thumb);
// A key press through ViewerKeyTable; other keys change nothing.
ScrollOutcome ViewerKeyDown(ViewerState* viewer, int key);

LineRange ViewerPaintRange(const ViewerState& viewer, int updateTop, int updateBottom);
// Where line `line` is drawn, relative to the client area.
inline int64_t ViewerLineX() {
  return kViewerCharWidth;
}
inline int64_t ViewerLineY(const ViewerState& viewer, int64_t line) {
  return (line - viewer.topLine) * kViewerLineHeight;
}
// Bytes shown on hex line `line`: 16, or lastLineBytes on a partial last line.
int HexLineBytes(const ViewerState& viewer, int64_t line);

// The text of display line `line`, reading the file: the hex line whole, the text line without
// its first leftColumn columns. At most `maxColumns` columns are produced (what fits the window
// is enough to draw). Bytes the file no longer holds show as blanks.
std::string FormatViewerLine(ViewerState* viewer, int64_t line, size_t maxColumns = SIZE_MAX);
// Columns of a text line that a client area of `clientWidth` shows at least in part.
size_t ViewerVisibleColumns(const ViewerState& viewer);
