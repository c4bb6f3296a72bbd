// The viewer on a 100 MiB text file: measuring its lines once, then formatting a screenful at its
// end in the text and the hex view. Aims: measuring under 1 s, a screenful under 5 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/pty_pair.h"
#include "viewer/viewer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void WriteTextFile(const std::string& path, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string chunk;
  uint32_t seed = 12345;
  while (chunk.size() < (1u << 20)) {
    seed = seed * 1103515245u + 12345u;
    const size_t length = 10 + (seed >> 16) % 100;
    for (size_t i = 0; i < length; ++i) {
      chunk.push_back(i % 17 == 5 ? '\t' : static_cast<char>('A' + (i + seed) % 58));
    }
    chunk += "\r\n";
  }
  chunk.resize(1u << 20);
  for (size_t written = 0; written < size; written += chunk.size()) {
    out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), size - written)));
  }
}

// Formats what a paint of the whole client area draws; returns the time of the slowest of `runs`.
double ScreenfulMs(ViewerState* viewer, int runs, size_t* characters) {
  double slowest = 0;
  for (int run = 0; run < runs; ++run) {
    Clock::time_point start = Clock::now();
    LineRange range = ViewerPaintRange(*viewer, 0, viewer->clientHeight);
    size_t total = 0;
    for (int64_t line = range.first; line <= range.last; ++line) {
      total += FormatViewerLine(viewer, line, ViewerVisibleColumns(*viewer)).size();
    }
    slowest = std::max(slowest, Milliseconds(Clock::now() - start));
    *characters = total;
  }
  return slowest;
}

}  // namespace

int main() {
  const size_t kSize = size_t(100) << 20;
  TempDir dir;
  const std::string path = dir.File("big.txt");
  WriteTextFile(path, kSize);

  for (int mode = 0; mode < 2; ++mode) {
    auto file = platform::File::Open(path.c_str(), platform::FileMode::kReadShared);
    if (!file) {
      std::fprintf(stderr, "cannot open %s\n", path.c_str());
      return 1;
    }
    ViewerState viewer;
    OpenViewerState(&viewer, file, mode);
    Clock::time_point start = Clock::now();
    MeasureViewerLines(&viewer);
    const double measureMs = Milliseconds(Clock::now() - start);
    ResizeViewer(&viewer, kViewerDefaultClientWidth, kViewerDefaultClientHeight);
    ViewerKeyDown(&viewer, kKeyEnd);

    size_t characters = 0;
    const double screenMs = ScreenfulMs(&viewer, 20, &characters);
    if (mode == 0) {
      std::printf("measuring %zu MiB of text: %lld lines, widest %lld columns: %.1f ms\n",
                  kSize >> 20, static_cast<long long>(viewer.lineCount),
                  static_cast<long long>(viewer.widestLine), measureMs);
    }
    std::printf("%s view, screenful at the end (%zu characters): %.3f ms (slowest of 20)\n",
                mode ? "hex" : "text", characters, screenMs);
    CloseViewerState(&viewer);
  }
  return 0;
}
