// The Qt front end's tests: real widgets on the offscreen platform, no display needed.

#include <gtest/gtest.h>

#include <QApplication>

// Under ThreadSanitizer: Qt's own libraries are not instrumented, so what their threads allocate
// and free looks unsynchronised. Only the allocator calls made from inside them are let go; every
// access our code makes is still watched.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
