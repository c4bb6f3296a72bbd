// The viewer on arbitrary file contents, window sizes and scroll requests: every visible line is
// formatted in both views, and the file may shrink under the viewer.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "viewer/viewer.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
};

// One temporary file for the whole run, unlinked at once so that nothing is left behind however
// the run ends; the viewer reopens it through its descriptor.
int TempFd() {
  static int fd = [] {
    char pattern[] = "/tmp/fuzz-viewer-XXXXXX";
    int made = mkstemp(pattern);
    if (made < 0) std::abort();
    unlink(pattern);
    return made;
  }();
  return fd;
}

const std::string& TempPath() {
  static std::string path = "/proc/self/fd/" + std::to_string(TempFd());
  return path;
}

void WriteFile(const uint8_t* data, size_t size) {
  if (ftruncate(TempFd(), 0) != 0) std::abort();
  size_t done = 0;
  while (done < size) {
    ssize_t put = pwrite(TempFd(), data + done, size - done, static_cast<off_t>(done));
    if (put <= 0) std::abort();
    done += static_cast<size_t>(put);
  }
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void FormatVisible(ViewerState* viewer) {
  Check(viewer->topLine >= 0 && viewer->topLine <= viewer->maxTopLine);
  Check(viewer->leftColumn >= 0 && viewer->leftColumn <= viewer->maxLeftColumn);
  const size_t columns = ViewerVisibleColumns(*viewer);
  LineRange range = ViewerPaintRange(*viewer, 0, viewer->clientHeight);
  for (int64_t line = range.first; line <= range.last; ++line) {
    std::string text = FormatViewerLine(viewer, line, columns);
    Check(text.size() <= columns);
    if (!viewer->hexMode) {
      const ViewerLine& entry = viewer->lines[static_cast<size_t>(line)];
      const uint64_t left = static_cast<uint64_t>(viewer->leftColumn);
      const uint64_t wanted = entry.width > left ? entry.width - left : 0;
      Check(text.size() == (wanted < columns ? wanted : columns));
    }
    // The full line as well, unclipped.
    std::string whole = FormatViewerLine(viewer, line);
    if (viewer->hexMode) {
      Check(whole.size() == static_cast<size_t>(kHexPadWidth + HexLineBytes(*viewer, line)));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const int width = in.Word();
  const int height = in.Word() % 2048;
  const int steps = in.Byte() % 16;
  uint8_t script[16][4];
  for (int i = 0; i < steps; ++i) {
    for (uint8_t& byte : script[i]) byte = in.Byte();
  }
  WriteFile(in.data, in.size);

  ViewerState viewers[2];
  for (int mode = 0; mode < 2; ++mode) {
    auto file = platform::File::Open(TempPath().c_str(), platform::FileMode::kReadShared);
    Check(file != nullptr);
    Check(OpenViewerState(&viewers[mode], file, mode));
    MeasureViewerLines(&viewers[mode]);
    Check(viewers[mode].lineCount >= (mode ? 0 : 1));
    ResizeViewer(&viewers[mode], width, height);
    FormatVisible(&viewers[mode]);
  }

  for (int i = 0; i < steps; ++i) {
    const uint8_t* step = script[i];
    const uint16_t thumb = static_cast<uint16_t>(step[2] | (step[3] << 8));
    for (ViewerState& viewer : viewers) {
      switch (step[0] % 5) {
        case 0:
          ScrollViewerVertically(&viewer, step[1] % 10, thumb);
          break;
        case 1:
          ScrollViewerHorizontally(&viewer, step[1] % 10, thumb);
          break;
        case 2:
          ViewerKeyDown(&viewer, 0x20 + step[1] % 10);
          break;
        case 3:
          ResizeViewer(&viewer, thumb, step[1] * 8);
          break;
        case 4:
          break;
      }
      FormatVisible(&viewer);
    }
    if (step[0] % 5 == 4) {
      // The file shrinks (or is rewritten) under the viewer.
      const size_t keep = in.size ? thumb % (in.size + 1) : 0;
      WriteFile(in.data, keep);
    }
  }
  CloseViewerState(&viewers[0]);
  CloseViewerState(&viewers[1]);
  return 0;
}
