// Throughput of the send and receive engines over a pseudo-terminal pair, set against a plain
// copy through the same pair; how busy a paced line is kept; what an idle listener costs.

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_surface.h"
#include "platform/system.h"
#include "support/pty_pair.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"

namespace {

constexpr size_t kBigFile = 64u << 20;
constexpr size_t kPacedFile = 256u << 10;
constexpr double kPacedBytesPerSecond = 11520.0;

double Seconds(uint64_t fromMs, uint64_t toMs) {
  return static_cast<double>(toMs - fromMs) / 1e3;
}
double MiBPerSecond(size_t bytes, double seconds) {
  return static_cast<double>(bytes) / (1 << 20) / seconds;
}

void WaitFor(bool (*condition)()) {
  while (!condition()) platform::SleepMilliseconds(1);
}
bool Idle() {
  return app.transferRunning.load() == 0 && platform::RunningDetachedThreads() == 0;
}

std::vector<uint8_t> DataWithoutEndMark(size_t size) {
  std::vector<uint8_t> data = RandomBytes(size, 5);
  for (uint8_t& byte : data)
    if (byte == 3) byte = 4;
  return data;
}

// Reads `count` bytes from `fd` as fast as they come; the time the last one arrived.
uint64_t Drain(int fd, size_t count, size_t blockSize) {
  std::vector<uint8_t> buffer(blockSize);
  size_t got = 0;
  while (got < count) {
    pollfd ready{fd, POLLIN, 0};
    poll(&ready, 1, 1000);
    ssize_t n = read(fd, buffer.data(), std::min(blockSize, count - got));
    if (n > 0) got += static_cast<size_t>(n);
  }
  return platform::MonotonicMilliseconds();
}

void Pour(int fd, const std::vector<uint8_t>& data, size_t blockSize) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, std::min(blockSize, data.size() - done));
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    pollfd ready{fd, POLLOUT, 0};
    poll(&ready, 1, 1000);
  }
}

int OpenDevice(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios raw{};
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  return fd;
}

// The same bytes through the same pair in 1024-byte blocks, without the program.
double PlainCopy(const PtyPair& pty, const std::vector<uint8_t>& data, bool towardsPeer) {
  int device = OpenDevice(pty.devicePath());
  const int from = towardsPeer ? device : pty.master();
  const int to = towardsPeer ? pty.master() : device;
  const uint64_t start = platform::MonotonicMilliseconds();
  uint64_t end = 0;
  std::thread reader([&] { end = Drain(to, data.size(), 1024); });
  Pour(from, data, 1024);
  reader.join();
  close(device);
  return MiBPerSecond(data.size(), Seconds(start, end));
}

void Setup(HeadlessSurface& surface, const TempDir& dir, const PtyPair& pty) {
  ClearAppState();
  app.mainWindow = &surface;
  std::snprintf(app.startDirectory, sizeof app.startDirectory, "%s", dir.path().c_str());
  std::snprintf(app.portName, sizeof app.portName, "COM1");
  PortDcb& dcb = app.portDcb;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 115200;
  dcb.fBinary = 1;
  dcb.fDtrControl = 1;
  dcb.fRtsControl = 1;
  dcb.ByteSize = 8;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  dcb.EvtChar = 3;
  app.language = 1;
  pty.LinkAs(dir.path(), "COM1");
}

double SendRate(const TempDir& dir, const PtyPair& pty, const std::vector<uint8_t>& data) {
  dir.Write("send.bin", data);
  std::snprintf(app.openFilePath, sizeof app.openFilePath, "%s", dir.File("send.bin").c_str());
  app.transferMode = 0;
  const uint64_t start = platform::MonotonicMilliseconds();
  StartStopTransfer();
  const uint64_t end = Drain(pty.master(), data.size(), 4096);  // the end pause is left out
  pty.ReadAvailable(1, 5000);                                   // the end mark
  WaitFor(Idle);
  return MiBPerSecond(data.size(), Seconds(start, end));
}

double ReceiveRate(const TempDir& dir, const PtyPair& pty, const std::vector<uint8_t>& data) {
  std::snprintf(app.openFilePath, sizeof app.openFilePath, "%s", dir.File("recv.bin").c_str());
  app.transferMode = 1;
  StartStopTransfer();
  while (!app.portHandle.IsOpen()) platform::SleepMilliseconds(1);
  const uint64_t start = platform::MonotonicMilliseconds();
  std::thread peer([&] {
    pty.Write(data);
    pty.Write(std::string(1, '\x03'));
  });
  const int total = static_cast<int>(data.size());
  while (app.bytesReceived.load() < total) platform::SleepMilliseconds(1);
  const uint64_t end = platform::MonotonicMilliseconds();
  peer.join();
  WaitFor(Idle);
  if (dir.Read("recv.bin") != data) std::printf("  (received file differs!)\n");
  return MiBPerSecond(data.size(), Seconds(start, end));
}

// The peer reads at the line's pace; the share of the time the line had something to carry.
double PacedBusyShare(const TempDir& dir, const PtyPair& pty) {
  std::vector<uint8_t> data = DataWithoutEndMark(kPacedFile);
  dir.Write("paced.bin", data);
  std::snprintf(app.openFilePath, sizeof app.openFilePath, "%s", dir.File("paced.bin").c_str());
  app.transferMode = 0;
  StartStopTransfer();
  std::vector<uint8_t> buffer(4096);
  // The line's clock starts with the first byte.
  pollfd ready{pty.master(), POLLIN, 0};
  poll(&ready, 1, 10000);
  const uint64_t start = platform::MonotonicMilliseconds();
  size_t got = 0;
  double idleMs = 0;
  while (got < data.size()) {
    platform::SleepMilliseconds(5);
    const double allowed = Seconds(start, platform::MonotonicMilliseconds()) * kPacedBytesPerSecond;
    size_t want = allowed > static_cast<double>(got) ? static_cast<size_t>(allowed) - got : 0;
    want = std::min({want, buffer.size(), data.size() - got});
    if (want == 0) continue;
    ssize_t n = read(pty.master(), buffer.data(), want);
    if (n > 0) got += static_cast<size_t>(n);
    // Whatever the line could have carried but was not there is idle time.
    if (n < static_cast<ssize_t>(want)) {
      idleMs += static_cast<double>(want - static_cast<size_t>(n > 0 ? n : 0)) /
                kPacedBytesPerSecond * 1e3;
    }
  }
  const double elapsed = Seconds(start, platform::MonotonicMilliseconds()) * 1e3;
  pty.ReadAvailable(1, 5000);
  WaitFor(Idle);
  return (elapsed - idleMs) / elapsed * 100.0;
}

double IdleListenerCpu() {
  app.listenMode = 1;
  StartListening();
  while (!app.portHandle.IsOpen()) platform::SleepMilliseconds(1);
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const uint64_t start = platform::MonotonicMilliseconds();
  platform::SleepMilliseconds(10000);
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  const uint64_t end = platform::MonotonicMilliseconds();
  app.listenByUser = 1;
  EndListening();
  WaitFor(Idle);
  auto micros = [](const timeval& t) { return t.tv_sec * 1000000.0 + t.tv_usec; };
  const double used = micros(after.ru_utime) - micros(before.ru_utime) + micros(after.ru_stime) -
                      micros(before.ru_stime);
  return used / (static_cast<double>(end - start) * 1e3) * 100.0;
}

}  // namespace

int main() {
  TempDir dir;
  PtyPair pty;
  HeadlessSurface surface;
  Setup(surface, dir, pty);
  const std::vector<uint8_t> data = DataWithoutEndMark(kBigFile);

  const double plainOut = PlainCopy(pty, data, true);
  const double sendRate = SendRate(dir, pty, data);
  std::printf("send 64 MiB:    engine %.1f MiB/s, plain copy %.1f MiB/s (%.0f%%)\n", sendRate,
              plainOut, sendRate / plainOut * 100.0);

  const double plainIn = PlainCopy(pty, data, false);
  const double receiveRate = ReceiveRate(dir, pty, data);
  std::printf("receive 64 MiB: engine %.1f MiB/s, plain copy %.1f MiB/s (%.0f%%)\n", receiveRate,
              plainIn, receiveRate / plainIn * 100.0);

  std::printf("paced line (115200 baud, 256 KiB): busy %.2f%% of the time\n",
              PacedBusyShare(dir, pty));
  std::printf("idle listener over 10 s: %.4f%% of one core\n", IdleListenerCpu());

  app.mainWindow = nullptr;
  ClearAppState();
  return 0;
}
