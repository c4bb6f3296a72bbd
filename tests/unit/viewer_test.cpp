#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_forms.h"
#include "platform/files.h"
#include "support/pty_pair.h"
#include "viewer/viewer.h"

namespace {

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearAppState(); }
  void TearDown() override { CloseViewerState(&viewer_); }

  // Opens a viewer on `content` as the main window does, sized `width` x `height`.
  void Show(const std::string& content, int mode, int width = 616, int height = 276) {
    dir_.Write("shown.txt", content);
    auto file =
        platform::File::Open(dir_.File("shown.txt").c_str(), platform::FileMode::kReadShared);
    ASSERT_TRUE(file);
    ASSERT_TRUE(OpenViewerState(&viewer_, file, mode));
    MeasureViewerLines(&viewer_);
    ResizeViewer(&viewer_, width, height);
  }
  std::string Line(int64_t line) { return FormatViewerLine(&viewer_, line); }

  TempDir dir_;
  ViewerState viewer_;
};

// The hex line as the formatter builds it, written out independently.
std::string HexLine(uint64_t offset, const std::string& bytes) {
  char field[32];
  if (offset == 0) {
    std::snprintf(field, sizeof field, "00000000  ");
  } else {
    std::snprintf(field, sizeof field, "0x%06llx  ", static_cast<unsigned long long>(offset));
  }
  std::string text = field;
  for (unsigned char byte : bytes) {
    std::snprintf(field, sizeof field, "%02X ", byte);
    text += field;
  }
  text.resize(59, ' ');
  for (unsigned char byte : bytes) text.push_back((byte & 0x7F) < 32 ? '.' : char(byte));
  return text;
}

TEST_F(ViewerTest, HexViewOfOneByte) {
  Show("A", 1);
  EXPECT_EQ(viewer_.lineCount, 1);
  EXPECT_EQ(viewer_.lastLineBytes, 1);
  EXPECT_EQ(viewer_.widestLine, 76);
  EXPECT_EQ(Line(0), "00000000  41 " + std::string(46, ' ') + "A");
}

TEST_F(ViewerTest, HexViewOfThirtyThreeBytesShowsEveryByte) {
  std::string content;
  const unsigned char bytes[] = {0x00, 0x09, 0x0A, 0x1F, 0x20, 0x41, 0x7E,
                                 0x7F, 0x80, 0x9F, 0xA0, 0xB3, 0xFF};
  for (int i = 0; i < 33; ++i) content.push_back(char(bytes[i % sizeof bytes]));
  Show(content, 1);
  ASSERT_EQ(viewer_.lineCount, 3);
  EXPECT_EQ(viewer_.lastLineBytes, 1);
  EXPECT_EQ(Line(0), HexLine(0, content.substr(0, 16)));
  EXPECT_EQ(Line(0).size(), 75u);
  EXPECT_EQ(Line(1), HexLine(16, content.substr(16, 16)));
  EXPECT_EQ(Line(1).substr(0, 10), "0x000010  ");
  EXPECT_EQ(Line(2), HexLine(32, content.substr(32, 1)));
  // Control bytes with or without the top bit show as dots, the rest as themselves.
  EXPECT_EQ(Line(0).substr(59), std::string("....") + " A~\x7F" + ".." + "\xA0\xB3\xFF" + "...");
  EXPECT_EQ(Line(3), "");  // past the last line

  Show(content.substr(0, 32), 1);
  EXPECT_EQ(viewer_.lineCount, 2);
  EXPECT_EQ(viewer_.lastLineBytes, 0);
  EXPECT_EQ(Line(1).size(), 75u);
}

TEST_F(ViewerTest, TextLinesKeepTheirCarriageReturnAndAFinalEmptyLine) {
  Show("ab\r\ncd\r\n", 0);
  ASSERT_EQ(viewer_.lineCount, 3);
  EXPECT_EQ(Line(0), "ab.");
  EXPECT_EQ(Line(1), "cd.");
  EXPECT_EQ(Line(2), "");
  EXPECT_EQ(viewer_.widestLine, 3);
  EXPECT_EQ(viewer_.lines[1].start, 4u);
}

TEST_F(ViewerTest, FilesOfWholeBlocksAreMeasuredInFull) {
  for (size_t size : {size_t(1023), size_t(1024), size_t(1025), size_t(2048)}) {
    // Lines of 9 letters; the last one shorter and without LF.
    std::string content;
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; ++i) {
      if (i % 10 == 9) {
        content.push_back('\n');
        lines.emplace_back();
      } else {
        char c = char('a' + (i / 10) % 26);
        content.push_back(c);
        lines.back().push_back(c);
      }
    }
    Show(content, 0);
    ASSERT_EQ(viewer_.lineCount, int64_t(lines.size())) << size;
    EXPECT_EQ(Line(viewer_.lineCount - 1), lines.back()) << size;
    EXPECT_EQ(Line(viewer_.lineCount - 2), lines[lines.size() - 2]) << size;
  }
}

TEST_F(ViewerTest, TabsTakeEightColumnsAndLeftColumnCutsThem) {
  Show("a\tb\n\t\tx\nshort", 0, 8 + 5 * 8, 150);
  EXPECT_EQ(viewer_.lines[0].width, 10u);
  EXPECT_EQ(viewer_.lines[1].width, 17u);
  EXPECT_EQ(Line(0), "a        b");
  EXPECT_EQ(viewer_.widestLine, 17);
  EXPECT_EQ(viewer_.maxLeftColumn, 17 - 6);

  ScrollOutcome right = ViewerKeyDown(&viewer_, kKeyRight);
  EXPECT_TRUE(right.changed);
  EXPECT_TRUE(right.repaintAll);
  EXPECT_EQ(viewer_.leftColumn, 1);
  EXPECT_EQ(Line(0), "        b");
  ScrollViewerHorizontally(&viewer_, kScrollPageDown, 0);
  EXPECT_EQ(viewer_.leftColumn, 7);
  EXPECT_EQ(Line(0), "  b");
  EXPECT_EQ(Line(1), std::string(9, ' ') + "x");
  EXPECT_EQ(Line(2), "");  // no wider than leftColumn: blank
  EXPECT_EQ(FormatViewerLine(&viewer_, 1, 3), "   ");
  EXPECT_TRUE(ScrollViewerHorizontally(&viewer_, kScrollBottom, 0).changed);
  EXPECT_EQ(viewer_.leftColumn, 11);
  EXPECT_FALSE(ViewerKeyDown(&viewer_, kKeyRight).changed);
}

TEST_F(ViewerTest, VerticalScrollingMovesPixelsForLessThanAPage) {
  std::string content;
  for (int i = 0; i < 100; ++i) content += "line " + std::to_string(i) + "\n";
  Show(content, 0, 616, 150);  // ten lines a page; 101 lines with the empty last one
  EXPECT_EQ(viewer_.maxTopLine, 91);

  ScrollOutcome down = ViewerKeyDown(&viewer_, kKeyDown);
  EXPECT_TRUE(down.changed);
  EXPECT_FALSE(down.repaintAll);
  EXPECT_EQ(down.scrollPixels, -15);
  EXPECT_FALSE(ViewerKeyDown(&viewer_, 0x41).changed);  // not in the table
  ScrollOutcome page = ViewerKeyDown(&viewer_, kKeyPageDown);
  EXPECT_EQ(page.change, 10);
  EXPECT_TRUE(page.repaintAll);
  ScrollOutcome thumb = ScrollViewerVertically(&viewer_, kScrollThumbTrack, 8);
  EXPECT_EQ(thumb.change, -3);
  EXPECT_EQ(thumb.scrollPixels, 45);

  // End shows the last page; nothing further down.
  ScrollOutcome end = ViewerKeyDown(&viewer_, kKeyEnd);
  EXPECT_EQ(end.position, 91);
  EXPECT_EQ(Line(viewer_.topLine), "line 91");
  EXPECT_EQ(Line(viewer_.topLine + 8), "line 99");
  EXPECT_FALSE(ViewerKeyDown(&viewer_, kKeyDown).changed);
  EXPECT_EQ(ViewerKeyDown(&viewer_, kKeyHome).position, 0);
  EXPECT_FALSE(ViewerKeyDown(&viewer_, kKeyUp).changed);

  // Growing the window past the end pulls the position back; the bar goes away when all fits.
  ViewerKeyDown(&viewer_, kKeyEnd);
  ScrollBars bars = ResizeViewer(&viewer_, 616, 300);
  EXPECT_EQ(bars.verticalMax, 81);
  EXPECT_EQ(bars.verticalPosition, 81);
  bars = ResizeViewer(&viewer_, 616, 101 * 15);
  EXPECT_EQ(bars.verticalMax, 0);
  EXPECT_EQ(viewer_.topLine, 0);

  // A window less than a line high repaints for every change.
  ResizeViewer(&viewer_, 616, 10);
  EXPECT_TRUE(ViewerKeyDown(&viewer_, kKeyDown).repaintAll);
}

TEST_F(ViewerTest, PaintDrawsOneLineBeyondEachEdgeOfTheUpdate) {
  std::string content(40, '\n');
  Show(content, 0, 616, 150);
  ScrollViewerVertically(&viewer_, kScrollThumbPosition, 5);
  LineRange range = ViewerPaintRange(viewer_, 20, 40);
  EXPECT_EQ(range.first, 5);
  EXPECT_EQ(range.last, 8);
  EXPECT_EQ(ViewerLineY(viewer_, range.first), 0);
  range = ViewerPaintRange(viewer_, 0, 150);
  EXPECT_EQ(range.first, 4);
  EXPECT_EQ(range.last, 16);
  ViewerKeyDown(&viewer_, kKeyEnd);
  range = ViewerPaintRange(viewer_, 0, 150);
  EXPECT_EQ(range.last, 40);
  ViewerKeyDown(&viewer_, kKeyHome);
  EXPECT_EQ(ViewerPaintRange(viewer_, 0, 150).first, 0);
}

TEST_F(ViewerTest, HexViewHasNoHorizontalScrolling) {
  Show(std::string(100, 'x'), 1, 80, 100);
  EXPECT_GT(viewer_.maxLeftColumn, 0);  // the bar shows, but does nothing
  EXPECT_FALSE(ViewerKeyDown(&viewer_, kKeyRight).changed);
  EXPECT_FALSE(ScrollViewerHorizontally(&viewer_, kScrollBottom, 0).changed);
  EXPECT_FALSE(ScrollViewerHorizontally(&viewer_, kScrollThumbTrack, 30).changed);
  EXPECT_EQ(viewer_.leftColumn, 0);
  EXPECT_EQ(Line(0).substr(0, 10), "00000000  ");
}

TEST_F(ViewerTest, FileThatShrankShowsBlanksForWhatIsGone) {
  Show("hello\nworld\n", 0);
  dir_.Write("shown.txt", "hel");
  EXPECT_EQ(Line(0), "hel  ");
  EXPECT_EQ(Line(1), "     ");

  Show("0123456789abcdefXYZ", 1);
  dir_.Write("shown.txt", "0123456789ab");
  EXPECT_EQ(Line(0), HexLine(0, "0123456789ab").substr(0, 10 + 36) + std::string(13, ' ') +
                         "0123456789ab    ");
  EXPECT_EQ(Line(1), "0x000010  " + std::string(49, ' ') + "   ");

  // Measured from what was there: a file cut while it is measured keeps what was read.
  dir_.Write("shown.txt", std::string(3000, 'a'));
  auto file = platform::File::Open(dir_.File("shown.txt").c_str(), platform::FileMode::kReadShared);
  ASSERT_TRUE(OpenViewerState(&viewer_, file, 0));
  dir_.Write("shown.txt", std::string(1500, 'a'));
  MeasureViewerLines(&viewer_);
  EXPECT_EQ(viewer_.lineCount, 1);
  EXPECT_EQ(viewer_.widestLine, 1500);
}

TEST_F(ViewerTest, NullHandleOpensNothing) {
  EXPECT_FALSE(OpenViewerState(&viewer_, nullptr, 0));
  OpenHeadlessViewer(nullptr, "x", 0);
  EXPECT_FALSE(HeadlessViewerShown());
  EXPECT_EQ(kViewerInitialWidth, 640);
  EXPECT_EQ(kViewerInitialHeight, 300);
}

TEST_F(ViewerTest, HeadlessViewerPrintsWhatTheWindowShows) {
  std::string content;
  for (int i = 0; i < 30; ++i) content += "row " + std::to_string(i) + "\n";
  dir_.Write("rows.txt", content);
  std::ostringstream out;
  std::string error;
  auto run = [&](std::vector<std::string> words) {
    error.clear();
    EXPECT_TRUE(RunFormsCommand(words, out, &error));
  };
  run({"viewer", "open", dir_.File("rows.txt"), "text", "Rows"});
  ASSERT_TRUE(HeadlessViewerShown());
  run({"viewer", "size", "616", "45"});
  run({"viewer", "key", "End"});
  EXPECT_NE(out.str().find("viewer v to 28, repaint\n"), std::string::npos) << out.str();
  out.str("");
  run({"viewer", "scroll", "v", "lineup"});
  run({"viewer", "print"});
  EXPECT_EQ(out.str(),
            "viewer v to 27, pixels 15\n"
            "viewer \"Rows\" text: 200 bytes, 31 lines, widest 6, client 616x45\n"
            "vertical 0..28 at 27, horizontal 0..0 at 0\n"
            "row 27\nrow 28\nrow 29\n");
  run({"viewer", "scroll", "x", "up"});
  EXPECT_NE(error, "");
  run({"viewer", "close"});
  EXPECT_FALSE(HeadlessViewerShown());
  run({"viewer", "print"});
  EXPECT_EQ(error, "no viewer is shown");
}

}  // namespace
