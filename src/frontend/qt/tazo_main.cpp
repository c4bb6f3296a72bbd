// The Linux program: the main window in Qt 6 Widgets, started in its start directory.

#include <QApplication>

#include "frontend/qt/qt_program.h"

namespace {
// How long the shut-down waits for an engine thread that is still ending.
constexpr uint32_t kEngineEndTimeoutMs = 5000;
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  {
    QtProgram program;
    // A folder the program cannot hold, or one where it already runs: said, and nothing else.
    if (!program.Start()) return 2;
    program.Run();
    program.Finish(kEngineEndTimeoutMs);
  }
  // A normal close ends with status 1, as the Windows program does.
  return 1;
}
