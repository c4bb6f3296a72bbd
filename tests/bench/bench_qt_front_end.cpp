// The Qt program's own costs on the offscreen platform: the time from start to the main window
// shown, the CPU it uses while it receives and while it sends on a line paced at 115200 baud
// (every character a line event, every event the nine lamps), and the time to show the
// verification of two wholly different 1 MiB files in ErrorsBox.

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "core/app_state.h"
#include "core/text_field.h"
#include "frontend/headless/headless_app.h"
#include "frontend/qt/qt_errors_box.h"
#include "frontend/qt/qt_main_window.h"
#include "frontend/qt/qt_program.h"
#include "frontend/qt/qt_surface.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "verify/verification.h"

namespace {

constexpr double kBytesPerSecond = 11520.0;  // 115200 baud, 10 bits a character
constexpr size_t kPacedBytes = 96u << 10;
constexpr size_t kMiB = 1u << 20;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop until `condition` holds, looking every 100 ms so that the looking costs
// next to nothing.
template <class Condition>
void RunUntil(Condition condition) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (condition()) loop.quit();
  });
  check.start(100);
  if (!condition()) loop.exec();
}

void WriteSettings(const TempDir& dir) {
  PortSettings settings;
  std::memset(&settings, 0, sizeof settings);
  std::strcpy(settings.portName, "COM1");
  std::strcpy(settings.baudText, "115200");
  settings.parityIndex = 2;
  settings.byteSizeIndex = 4;
  settings.language = 1;
  std::strcpy(settings.workingDirectory, dir.path().c_str());
  WriteSettingsFile(dir.File("tazo.ini"), settings);
}

// The peer paces the line: what it writes, or lets the program write, keeps to 115200 baud.
// Returns the CPU the peer's own thread used, to be taken off the process's.
double PacePeer(const PtyPair& pty, bool peerSends, const std::vector<uint8_t>& data) {
  const double start = Now();
  size_t done = 0;
  std::vector<uint8_t> buffer(4096);
  while (done < data.size()) {
    platform::SleepMilliseconds(5);
    const size_t allowed = static_cast<size_t>((Now() - start) * kBytesPerSecond);
    size_t want = allowed > done ? allowed - done : 0;
    want = std::min({want, buffer.size(), data.size() - done});
    if (want == 0) continue;
    ssize_t n = peerSends ? write(pty.master(), data.data() + done, want)
                          : read(pty.master(), buffer.data(), want);
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (peerSends) {
    const uint8_t end = 3;
    while (write(pty.master(), &end, 1) != 1) platform::SleepMilliseconds(1);
  }
  return CpuSeconds(RUSAGE_THREAD);
}

void PacedTransfer(const char* what, bool receive) {
  TempDir dir;
  PtyPair pty;
  pty.LinkAs(dir.path(), "COM1");
  WriteSettings(dir);
  const std::vector<uint8_t> data = DataWithoutEndMark(kPacedBytes, receive ? 3 : 4);
  if (!receive) dir.Write("out.bin", data);
  if (chdir(dir.path().c_str()) != 0) return;
  ClearAppState();
  {
    QtProgram program;
    program.Start();
    if (!QTest::qWaitForWindowExposed(program.mainWindow())) std::printf("window not shown\n");
    // As the file dialog leaves it, then the press of StartStopButton.
    CopyText(app.openFilePath, dir.File(receive ? "in.bin" : "out.bin").c_str());
    app.transferMode = receive ? 1 : 0;
    HandleMainWindowCommand(StartStopButton);
    RunUntil([] { return app.portHandle.IsOpen(); });

    std::atomic<bool> peerDone{false};
    double peerCpu = 0;
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const double windowCpuBefore = CpuSeconds(RUSAGE_THREAD);
    const double start = Now();
    std::thread peer([&] {
      peerCpu = PacePeer(pty, receive, data);
      peerDone = true;
    });
    RunUntil([&] { return peerDone.load(); });
    const double elapsed = Now() - start;
    const double windowCpu = CpuSeconds(RUSAGE_THREAD) - windowCpuBefore;
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore - peerCpu;
    peer.join();
    RunUntil([] { return app.transferRunning.load() == 0; });
    // With dozens of machines on one host, receiving is the figure that counts.
    std::printf("%-44s %5.2f%% of one core (aim < %d%%) over %.1f s, window thread %.2f%%\n", what,
                cpu / elapsed * 100.0, receive ? 1 : 2, elapsed, windowCpu / elapsed * 100.0);
    if (!receive) pty.ReadAvailable(1, 3000);
    program.DestroyMainWindow();
    program.Finish(5000);
  }
  ClearAppState();
}

void LongVerification() {
  TempDir dir;
  auto reference =
      platform::File::Open(dir.File("ref.bin").c_str(), platform::FileMode::kReadWriteCreate);
  auto received =
      platform::File::Open(dir.File("wer0.tmp").c_str(), platform::FileMode::kReadWriteCreate);
  std::vector<uint8_t> bytes = RandomBytes(kMiB, 1);
  uint32_t written = 0;
  reference->Write(bytes.data(), kMiB, &written);
  for (uint8_t& byte : bytes) byte ^= 0xFF;
  received->Write(bytes.data(), kMiB, &written);
  reference.reset();
  received.reset();
  WriteSettings(dir);
  if (chdir(dir.path().c_str()) != 0) return;
  ClearAppState();
  {
    QtProgram program;
    program.Start();
    if (!QTest::qWaitForWindowExposed(program.mainWindow())) std::printf("window not shown\n");
    app.verifyOn = 1;
    app.transferMode = 1;
    CopyText(app.verifyReferencePath, dir.File("ref.bin").c_str());
    CopyText(app.openFilePath, dir.File("wer0.tmp").c_str());
    app.verifyReferenceFile.Set(
        platform::File::Open(app.verifyReferencePath, platform::FileMode::kReadWriteExisting));
    app.openFile.Set(
        platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteExisting));

    // The comparison runs on an engine's thread, its lines reach the box through the queue.
    std::atomic<bool> compared{false};
    const double start = Now();
    std::thread engine([&] {
      CompareReceivedFile([] { return true; });
      compared = true;
    });
    RunUntil([&] { return compared.load(); });
    engine.join();
    auto* box = dynamic_cast<QtErrorsBox*>(program.mainWindow()->Control(ErrorsBox));
    box->repaint();
    const double seconds = Now() - start;
    std::printf("%-44s %5.2f s (aim < 2 s), %d lines shown\n",
                "verification of 1 MiB wholly different", seconds,
                static_cast<int>(box->lineCount()));
    program.DestroyMainWindow();
    program.Finish(5000);
  }
  ClearAppState();
}

// Seconds since this process was started by the system (10 ms resolution): loading the
// libraries included.
double SecondsSinceExec() {
  FILE* stat = std::fopen("/proc/self/stat", "r");
  FILE* uptime = std::fopen("/proc/uptime", "r");
  double since = -1;
  if (stat && uptime) {
    char buffer[1024] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer - 1, stat);
    buffer[got] = 0;
    // The 22nd field, counted after the command name in parentheses.
    const char* at = std::strrchr(buffer, ')');
    unsigned long long startTicks = 0;
    double up = 0;
    if (at &&
        std::sscanf(
            at + 2,
            "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
            &startTicks) == 1 &&
        std::fscanf(uptime, "%lf", &up) == 1) {
      since = up - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
  }
  if (stat) std::fclose(stat);
  if (uptime) std::fclose(uptime);
  return since;
}

}  // namespace

int main(int argc, char** argv) {
  const double start = Now();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  char home[4096];
  if (!getcwd(home, sizeof home)) return 1;
  {
    TempDir dir;
    if (chdir(dir.path().c_str()) != 0) return 1;
    QtProgram program;
    program.Start();
    if (!QTest::qWaitForWindowExposed(program.mainWindow())) std::printf("window not shown\n");
    std::printf("%-44s %5.0f ms (aim < 300 ms), %.0f ms since the process began\n",
                "start to main window shown", (Now() - start) * 1e3, SecondsSinceExec() * 1e3);
    program.DestroyMainWindow();
    program.Finish(5000);
    ClearAppState();
  }
  PacedTransfer("receiving at 115200 baud", true);
  PacedTransfer("sending at 115200 baud", false);
  LongVerification();
  return chdir(home) == 0 ? 0 : 1;
}
