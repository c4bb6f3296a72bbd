#include "viewer/viewer.h"

#include <algorithm>
#include <cstring>

#include "core/app_state.h"

const ViewerKey ViewerKeyTable[8] = {
    {kKeyHome, true, kScrollTop},      {kKeyEnd, true, kScrollBottom},
    {kKeyPageUp, true, kScrollPageUp}, {kKeyPageDown, true, kScrollPageDown},
    {kKeyUp, true, kScrollLineUp},     {kKeyDown, true, kScrollLineDown},
    {kKeyLeft, false, kScrollLineUp},  {kKeyRight, false, kScrollLineDown},
};

namespace {

char DisplayChar(uint8_t byte) {
  return (byte & 0x7F) < 32 ? '.' : static_cast<char>(byte);
}

// The change a request asks for, before limiting; `page` is the screenful, at least 1.
int64_t WantedChange(int request, uint16_t thumb, int64_t position, int64_t maxPosition,
                     int64_t page) {
  switch (request) {
    case kScrollLineUp:
      return -1;
    case kScrollLineDown:
      return 1;
    case kScrollPageUp:
      return -page;
    case kScrollPageDown:
      return page;
    case kScrollThumbPosition:
    case kScrollThumbTrack:
      return static_cast<int64_t>(thumb) - position;
    case kScrollTop:
      return -position;
    case kScrollBottom:
      return maxPosition - position;
    default:
      return 0;
  }
}

int64_t LimitChange(int64_t change, int64_t position, int64_t maxPosition) {
  if (position + change < 0) change = -position;
  if (position + change > maxPosition) change = maxPosition - position;
  return change;
}

// The offset field of "%#08lx  ": the "#" flag adds no prefix to zero, so offset 0 is eight
// zeros and every other offset "0x" and at least six digits. Done by hand because the platform's
// long may be 32 bits.
void AppendOffsetField(std::string* out, uint64_t offset) {
  if (offset == 0) {
    out->append("00000000");
  } else {
    char digits[17];
    int count = 0;
    for (uint64_t rest = offset; rest; rest >>= 4) digits[count++] = "0123456789abcdef"[rest & 15];
    out->append("0x");
    for (int i = count; i < 6; ++i) out->push_back('0');
    while (count) out->push_back(digits[--count]);
  }
  out->append("  ");
}

std::string FormatHexLine(ViewerState* viewer, int64_t line) {
  const int wanted = HexLineBytes(*viewer, line);
  const uint64_t offset = static_cast<uint64_t>(line) * kHexBytesPerLine;
  uint8_t bytes[kHexBytesPerLine];
  uint32_t got = 0;
  if (!viewer->file || !viewer->file->Seek(offset) ||
      !viewer->file->Read(bytes, static_cast<uint32_t>(wanted), &got)) {
    got = 0;
  }
  std::string text;
  text.reserve(kHexLineWidth + 8);
  AppendOffsetField(&text, offset);
  static const char kHex[] = "0123456789ABCDEF";
  for (int i = 0; i < wanted; ++i) {
    if (static_cast<uint32_t>(i) < got) {
      text.push_back(kHex[bytes[i] >> 4]);
      text.push_back(kHex[bytes[i] & 15]);
      text.push_back(' ');
    } else {
      text.append("   ");  // gone since the file was measured
    }
  }
  if (text.size() < static_cast<size_t>(kHexPadWidth)) text.resize(kHexPadWidth, ' ');
  for (int i = 0; i < wanted; ++i) {
    text.push_back(static_cast<uint32_t>(i) < got ? DisplayChar(bytes[i]) : ' ');
  }
  return text;
}

std::string FormatTextLine(ViewerState* viewer, int64_t line, size_t maxColumns) {
  const ViewerLine& entry = viewer->lines[static_cast<size_t>(line)];
  const uint64_t skip = static_cast<uint64_t>(std::max<int64_t>(viewer->leftColumn, 0));
  if (entry.width <= skip || maxColumns == 0) return std::string();
  const uint64_t end =
      std::min<uint64_t>(entry.width, skip + std::min<uint64_t>(maxColumns, entry.width));
  std::string text;
  text.reserve(static_cast<size_t>(end - skip));

  // Every byte takes at least one column, so the line's bytes never exceed its columns: reading
  // no more than the columns still wanted stays within what the line can need.
  uint8_t block[kViewerBlockSize];
  uint32_t got = 0, used = 0;
  bool exhausted = !viewer->file || !viewer->file->Seek(entry.start);
  uint64_t column = 0;
  int pendingSpaces = 0;
  auto put = [&](char c) {
    if (column >= skip) text.push_back(c);
    ++column;
  };
  while (column < end) {
    if (pendingSpaces) {
      --pendingSpaces;
      put(' ');
      continue;
    }
    if (used == got && !exhausted) {
      const uint64_t want = std::min<uint64_t>(sizeof block, end - column);
      used = 0;
      if (!viewer->file->Read(block, static_cast<uint32_t>(want), &got)) got = 0;
      if (got < want) exhausted = true;  // the file is shorter than when it was measured
    }
    if (used == got) {
      // Nothing more to read: blanks for the rest.
      put(' ');
      continue;
    }
    const uint8_t byte = block[used++];
    if (byte == '\t') {
      pendingSpaces = 7;
      put(' ');
    } else {
      put(DisplayChar(byte));
    }
  }
  return text;
}

}  // namespace

bool OpenViewerState(ViewerState* viewer, std::shared_ptr<platform::File> file, int mode) {
  *viewer = ViewerState();
  if (!file) return false;
  viewer->file = std::move(file);
  uint64_t size = 0;
  if (!viewer->file->Size(&size)) size = 0;
  viewer->fileSize = size;
  viewer->hexMode = mode;
  return true;
}

void MeasureViewerLines(ViewerState* viewer) {
  ViewerState& v = *viewer;
  v.lines.clear();
  if (v.hexMode) {
    v.lineCount = static_cast<int64_t>((v.fileSize + kHexBytesPerLine - 1) / kHexBytesPerLine);
    v.widestLine = kHexLineWidth;
    v.lastLineBytes = static_cast<int>(v.fileSize % kHexBytesPerLine);
    v.topLine = 0;
    return;
  }

  uint8_t block[kViewerBlockSize];
  uint64_t width = 0, bytes = 0, start = 0, done = 0;
  uint64_t widest = 0;
  bool readable = v.file && v.file->Seek(0);
  // Only the bytes that were there when the size was taken; fewer if the file shrank meanwhile.
  while (readable && done < v.fileSize) {
    const uint32_t want =
        static_cast<uint32_t>(std::min<uint64_t>(sizeof block, v.fileSize - done));
    uint32_t got = 0;
    if (!v.file->Read(block, want, &got) || got == 0) break;
    for (uint32_t i = 0; i < got; ++i) {
      const uint8_t byte = block[i];
      if (byte == '\n') {
        v.lines.push_back({start, width});
        widest = std::max(widest, width);
        start += bytes + 1;
        width = 0;
        bytes = 0;
      } else {
        width += byte == '\t' ? 8 : 1;
        ++bytes;
      }
    }
    done += got;
  }
  v.lines.push_back({start, width});  // the final line, empty after a last LF
  widest = std::max(widest, width);
  v.lines.shrink_to_fit();
  v.widestLine = static_cast<int64_t>(widest);
  v.lineCount = static_cast<int64_t>(v.lines.size());
  app.viewerLineStarts = &v.lines;
}

void CloseViewerState(ViewerState* viewer) {
  if (app.viewerLineStarts == &viewer->lines) app.viewerLineStarts = nullptr;
  // Only this viewer's reference goes; a handle shared with anyone else stays theirs.
  *viewer = ViewerState();
}

ScrollBars ResizeViewer(ViewerState* viewer, int clientWidth, int clientHeight) {
  ViewerState& v = *viewer;
  v.clientWidth = std::max(clientWidth, 0);
  v.clientHeight = std::max(clientHeight, 0);
  v.maxTopLine = std::max<int64_t>(v.lineCount - v.clientHeight / kViewerLineHeight, 0);
  if (v.topLine > v.maxTopLine) v.topLine = v.maxTopLine;
  v.maxLeftColumn = std::max<int64_t>(v.widestLine - v.clientWidth / kViewerCharWidth, 0);
  if (v.leftColumn > v.maxLeftColumn) v.leftColumn = v.maxLeftColumn;
  return {v.maxTopLine, v.topLine, v.maxLeftColumn, v.leftColumn};
}

ScrollOutcome ScrollViewerVertically(ViewerState* viewer, int request, uint16_t thumb) {
  ViewerState& v = *viewer;
  ScrollOutcome outcome;
  outcome.vertical = true;
  outcome.position = v.topLine;
  const int64_t page = v.clientHeight / kViewerLineHeight;
  int64_t change =
      WantedChange(request, thumb, v.topLine, v.maxTopLine, std::max<int64_t>(page, 1));
  change = LimitChange(change, v.topLine, v.maxTopLine);
  if (change == 0) return outcome;
  v.topLine += change;
  outcome.changed = true;
  outcome.change = change;
  outcome.position = v.topLine;
  // Less than a page: the lines already drawn move, only the uncovered strip is painted.
  if ((change < 0 ? -change : change) < page) {
    outcome.scrollPixels = -kViewerLineHeight * change;
  } else {
    outcome.repaintAll = true;
  }
  return outcome;
}

ScrollOutcome ScrollViewerHorizontally(ViewerState* viewer, int request, uint16_t thumb) {
  ViewerState& v = *viewer;
  ScrollOutcome outcome;
  outcome.vertical = false;
  outcome.position = v.leftColumn;
  if (v.hexMode) return outcome;
  const int64_t page = std::max<int64_t>(v.clientWidth / kViewerCharWidth, 1);
  int64_t change = WantedChange(request, thumb, v.leftColumn, v.maxLeftColumn, page);
  change = LimitChange(change, v.leftColumn, v.maxLeftColumn);
  if (change == 0) return outcome;
  v.leftColumn += change;
  outcome.changed = true;
  outcome.change = change;
  outcome.position = v.leftColumn;
  outcome.repaintAll = true;
  return outcome;
}

ScrollOutcome ViewerKeyDown(ViewerState* viewer, int key) {
  for (const ViewerKey& entry : ViewerKeyTable) {
    if (entry.key != key) continue;
    return entry.vertical ? ScrollViewerVertically(viewer, entry.request, 0)
                          : ScrollViewerHorizontally(viewer, entry.request, 0);
  }
  ScrollOutcome none;
  none.position = viewer->topLine;
  return none;
}

LineRange ViewerPaintRange(const ViewerState& viewer, int updateTop, int updateBottom) {
  int64_t first = viewer.topLine + updateTop / kViewerLineHeight - 1;
  int64_t last = viewer.topLine + updateBottom / kViewerLineHeight + 1;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, viewer.lineCount - 1);
  return {first, last};
}

int HexLineBytes(const ViewerState& viewer, int64_t line) {
  if (line == viewer.lineCount - 1 && viewer.lastLineBytes != 0) return viewer.lastLineBytes;
  return kHexBytesPerLine;
}

std::string FormatViewerLine(ViewerState* viewer, int64_t line, size_t maxColumns) {
  if (line < 0 || line >= viewer->lineCount) return std::string();
  if (viewer->hexMode) {
    std::string text = FormatHexLine(viewer, line);
    if (text.size() > maxColumns) text.resize(maxColumns);
    return text;
  }
  if (static_cast<size_t>(line) >= viewer->lines.size()) return std::string();
  return FormatTextLine(viewer, line, maxColumns);
}

size_t ViewerVisibleColumns(const ViewerState& viewer) {
  const int room = viewer.clientWidth - kViewerCharWidth;
  return room <= 0 ? 0 : static_cast<size_t>((room + kViewerCharWidth - 1) / kViewerCharWidth);
}
