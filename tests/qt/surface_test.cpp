// The surface's call queue on its own: a worker's calls land whole and in order while the window
// thread runs its loop, reads come back across, and closing the queue releases a waiting worker.

#include <QCheckBox>
#include <QLineEdit>

#include <atomic>
#include <thread>

#include "frontend/qt/qt_errors_box.h"
#include "platform/system.h"
#include "qt_fixture.h"

namespace {

struct SurfaceOnWidgets {
  QWidget window;
  QLineEdit* count = new QLineEdit(&window);
  QtErrorsBox* errors = new QtErrorsBox(&window);
  QCheckBox* lamp = new QCheckBox(&window);
  QtSurface surface;
  SurfaceOnWidgets() {
    surface.AddControl(CountField, ControlKind::kReadOnlyEdit, count);
    surface.AddControl(ErrorsBox, ControlKind::kMultiLineEdit, errors);
    surface.AddControl(CtsLamp, ControlKind::kCheckBox, lamp);
  }
};

bool RunLoopUntil(const std::function<bool()>& condition) {
  const uint64_t deadline = platform::MonotonicMilliseconds() + 20000;
  while (!condition()) {
    if (platform::MonotonicMilliseconds() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

}  // namespace

TEST(QtSurfaceQueue, WorkerCallsLandInOrderAndClosingReleasesTheWorker) {
  SurfaceOnWidgets shown;
  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += "line " + std::to_string(i) + "\r\n";

  std::atomic<bool> done{false};
  std::string readBack;
  unsigned numberBack = 0;
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) {
      shown.surface.AppendText(ErrorsBox, ("line " + std::to_string(i) + "\r\n").c_str());
      shown.surface.SetCheck(CtsLamp, i % 2 == 0);
      shown.surface.SetNumber(CountField, static_cast<unsigned>(i));
    }
    readBack = shown.surface.GetText(ErrorsBox);
    numberBack = shown.surface.GetNumber(CountField);
    done = true;
  });
  ASSERT_TRUE(RunLoopUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(shown.errors->text(), expected);
  EXPECT_EQ(readBack, expected);
  EXPECT_EQ(numberBack, 1999u);
  EXPECT_EQ(shown.count->text(), "1999");
  EXPECT_FALSE(shown.lamp->isChecked());
  EXPECT_EQ(shown.errors->lineCount(), 2001);

  // The window thread runs no loop any more: a worker's call must not wait for it.
  std::atomic<bool> released{false};
  std::thread late([&] {
    shown.surface.SetText(CountField, "late");
    released = shown.surface.GetText(CountField).empty();
  });
  shown.surface.CloseQueue();
  late.join();
  EXPECT_TRUE(released.load());
  EXPECT_EQ(shown.count->text(), "1999");
  // The window thread itself still reaches its widgets.
  shown.surface.SetText(CountField, "7");
  EXPECT_EQ(shown.surface.GetNumber(CountField), 7u);
}
