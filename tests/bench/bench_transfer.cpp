// Throughput of the send and receive engines over a pseudo-terminal pair, set against a plain
// copy through the same pair; the receive's rate and CPU per MiB beside the plain copy's and
// socat's, over the pair and over the network through ser2net serving it (raw TCP and RFC 2217);
// how busy a paced line is kept; what an idle listener costs.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_surface.h"
#include "platform/system.h"
#include "support/device_server.h"
#include "support/pty_pair.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"

namespace {

constexpr size_t kBigFile = 64u << 20;
constexpr size_t kPacedFile = 256u << 10;
constexpr double kPacedBytesPerSecond = 11520.0;
constexpr int kReceiveRounds = 5;

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

// The same bytes written to the peer through the same pair in 1024-byte blocks, without the
// program.
double PlainCopyOut(const PtyPair& pty, const std::vector<uint8_t>& data) {
  int device = OpenDevice(pty.devicePath());
  const uint64_t start = platform::MonotonicMilliseconds();
  uint64_t end = 0;
  std::thread reader([&] { end = Drain(pty.master(), data.size(), 1024); });
  Pour(device, data, 1024);
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

// The peer reads at the line's pace; the share of the time the line had something to carry.
double PacedBusyShare(const TempDir& dir, const PtyPair& pty) {
  std::vector<uint8_t> data = DataWithoutEndMark(kPacedFile, 5);
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

// How the receiving side's port is reached and fed: the network variant reaches the same
// pseudo-terminal through a relay.
struct ReceiveLine {
  // Makes the start directory's COM1 entry lead to the port.
  std::function<void(const std::string& startDirectory)> linkPort;
  // Where the peer's bytes go in.
  int feedFd = -1;
  // The port as a plain reader opens it (empty: no plain copy) and as socat names it.
  std::string devicePath;
  std::string socatAddress;
  // Waits until a client that has just started is connected (a relay that is not yet connected
  // would let the first bytes go); nothing to wait for on a local port.
  std::function<void()> waitForClient = [] {};
};

struct ReceiveFigures {
  double mibPerSecond = 0;
  double cpuMsPerMiB = 0;
};

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The peer is a child process of its own, so that its writing is no part of the CPU measured.
pid_t FeedInChild(int fd, const std::vector<uint8_t>& data, bool endMark) {
  const pid_t child = fork();
  if (child != 0) return child;
  Pour(fd, data, 64u << 10);
  const uint8_t mark = 3;
  while (endMark && write(fd, &mark, 1) != 1) {
    pollfd ready{fd, POLLOUT, 0};
    poll(&ready, 1, 1000);
  }
  _exit(0);
}

void Reap(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

ReceiveFigures Figures(size_t bytes, double seconds, double cpuSeconds) {
  const double mib = static_cast<double>(bytes) / (1 << 20);
  return ReceiveFigures{mib / seconds, cpuSeconds * 1e3 / mib};
}

// The same bytes read from the port by this thread in 1024-byte blocks, without the program.
ReceiveFigures PlainReceive(const ReceiveLine& line, const std::vector<uint8_t>& data) {
  const int device = OpenDevice(line.devicePath);
  const double cpuBefore = CpuSeconds(RUSAGE_THREAD);
  const uint64_t start = platform::MonotonicMilliseconds();
  const pid_t feeder = FeedInChild(line.feedFd, data, false);
  const uint64_t end = Drain(device, data.size(), 1024);
  const double cpu = CpuSeconds(RUSAGE_THREAD) - cpuBefore;
  Reap(feeder);
  close(device);
  return Figures(data.size(), Seconds(start, end), cpu);
}

// The receive engine into a file. Its CPU is the process's less this thread's, which only looks
// at the count now and then.
ReceiveFigures EngineReceive(const TempDir& dir, const ReceiveLine& line,
                             const std::vector<uint8_t>& data) {
  line.linkPort(dir.path());
  std::snprintf(app.openFilePath, sizeof app.openFilePath, "%s", dir.File("recv.bin").c_str());
  app.transferMode = 1;
  StartStopTransfer();
  while (!app.portHandle.IsOpen()) platform::SleepMilliseconds(1);
  const double processBefore = CpuSeconds(RUSAGE_SELF);
  const double selfBefore = CpuSeconds(RUSAGE_THREAD);
  const uint64_t start = platform::MonotonicMilliseconds();
  const pid_t feeder = FeedInChild(line.feedFd, data, true);
  const int total = static_cast<int>(data.size());
  while (app.bytesReceived.load() < total && app.transferRunning.load() == 1) {
    platform::SleepMilliseconds(1);
  }
  const uint64_t end = platform::MonotonicMilliseconds();
  WaitFor(Idle);
  const double cpu =
      CpuSeconds(RUSAGE_SELF) - processBefore - (CpuSeconds(RUSAGE_THREAD) - selfBefore);
  Reap(feeder);
  if (dir.Read("recv.bin") != data) std::printf("  (received file differs!)\n");
  return Figures(data.size(), Seconds(start, end), cpu);
}

// socat copying the port into a file: its own CPU, as the system accounts its process.
bool SocatReceive(const TempDir& dir, const ReceiveLine& line, const std::vector<uint8_t>& data,
                  ReceiveFigures* figures) {
  const std::string out = dir.File("socat.bin");
  const std::string target = "OPEN:" + out + ",creat,trunc";
  unlink(out.c_str());
  const uint64_t start = platform::MonotonicMilliseconds();
  const pid_t socat = fork();
  if (socat == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    execlp("socat", "socat", "-u", line.socatAddress.c_str(), target.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  line.waitForClient();
  const pid_t feeder = FeedInChild(line.feedFd, data, false);
  struct stat info {};
  int status = 0;
  for (;;) {
    if (stat(out.c_str(), &info) == 0 && static_cast<size_t>(info.st_size) >= data.size()) break;
    if (waitpid(socat, &status, WNOHANG) == socat) {
      // Not there, or it could not open the port: nobody takes the rest of the bytes, which
      // must not reach the next reader either.
      kill(feeder, SIGKILL);
      Reap(feeder);
      if (!line.devicePath.empty()) {
        const int device = OpenDevice(line.devicePath);
        tcflush(device, TCIFLUSH);
        close(device);
      }
      return false;
    }
    platform::SleepMilliseconds(1);
  }
  const uint64_t end = platform::MonotonicMilliseconds();
  kill(socat, SIGTERM);
  rusage usage{};
  while (wait4(socat, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  Reap(feeder);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  *figures =
      Figures(data.size(), Seconds(start, end), seconds(usage.ru_utime) + seconds(usage.ru_stime));
  return true;
}

struct Spread {
  double median, low, high;
};
Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return Spread{values[values.size() / 2], values.front(), values.back()};
}
void PrintRow(const char* what, const std::vector<double>& values, const char* unit) {
  const Spread spread = SpreadOf(values);
  std::printf("  %-34s %8.2f %-6s (%.2f-%.2f)\n", what, spread.median, unit, spread.low,
              spread.high);
}

// The receive set against the plain copy and socat, round after round in turn so that a drift
// of the machine's speed touches all three alike: median and range of each figure.
void CompareReceive(const char* title, const TempDir& dir, const ReceiveLine& line,
                    const std::vector<uint8_t>& data, int rounds) {
  std::vector<double> plainRate, plainCpu, engineRate, engineCpu, ratio, socatRate, socatRatio,
      socatCpu, cpuRatio;
  bool socat = true;
  for (int round = 0; round < rounds; ++round) {
    ReceiveFigures plain;
    if (!line.devicePath.empty()) {
      plain = PlainReceive(line, data);
      plainRate.push_back(plain.mibPerSecond);
      plainCpu.push_back(plain.cpuMsPerMiB);
    }
    const ReceiveFigures engine = EngineReceive(dir, line, data);
    engineRate.push_back(engine.mibPerSecond);
    engineCpu.push_back(engine.cpuMsPerMiB);
    if (!line.devicePath.empty()) ratio.push_back(engine.mibPerSecond / plain.mibPerSecond);
    ReceiveFigures other;
    if (socat && SocatReceive(dir, line, data, &other)) {
      socatRate.push_back(other.mibPerSecond);
      socatRatio.push_back(engine.mibPerSecond / other.mibPerSecond);
      socatCpu.push_back(other.cpuMsPerMiB);
      cpuRatio.push_back(engine.cpuMsPerMiB / other.cpuMsPerMiB);
    } else {
      socat = false;
    }
  }
  std::printf("%s, %zu MiB, median of %d (range):\n", title, data.size() >> 20, rounds);
  if (!plainRate.empty()) {
    PrintRow("plain copy", plainRate, "MiB/s");
    PrintRow("engine", engineRate, "MiB/s");
    PrintRow("engine / plain copy", ratio, "x");
    PrintRow("CPU per MiB, plain copy", plainCpu, "ms");
  } else {
    PrintRow("engine", engineRate, "MiB/s");
  }
  PrintRow("CPU per MiB, engine", engineCpu, "ms");
  if (socat) {
    // Over a relay socat is the plain copy: the same client's work without the program.
    if (plainRate.empty()) {
      PrintRow("socat", socatRate, "MiB/s");
      PrintRow("engine / socat", socatRatio, "x");
    }
    PrintRow("CPU per MiB, socat", socatCpu, "ms");
    PrintRow("CPU per MiB, engine / socat", cpuRatio, "x");
  } else {
    std::printf("  (socat did not run: no CPU reference)\n");
  }
}

ReceiveLine PtyLine(const PtyPair& pty) {
  ReceiveLine line;
  line.linkPort = [&pty](const std::string& directory) { pty.LinkAs(directory, "COM1"); };
  line.feedFd = pty.master();
  line.devicePath = pty.devicePath();
  line.socatAddress = "GOPEN:" + pty.devicePath() + ",rawer";
  return line;
}

// The same pseudo-terminal served on 127.0.0.1 by ser2net: the engine's COM1 names `engineServer`
// in a port file, socat reads `socatServer`, a raw TCP port (socat speaks no RFC 2217). Each
// server opens the device for its client only; the relay's own CPU is no part of either figure.
ReceiveLine NetworkLine(const PtyPair& pty, const DeviceServer& socatServer,
                        const DeviceServer& engineServer, const std::string& form) {
  const std::string address = form + ",127.0.0.1," + std::to_string(engineServer.port());
  ReceiveLine line;
  line.linkPort = [address](const std::string& directory) {
    const std::string entry = directory + "/COM1";
    unlink(entry.c_str());
    std::ofstream(entry) << address << "\n";
  };
  line.feedFd = pty.master();
  line.socatAddress = "TCP:127.0.0.1:" + std::to_string(socatServer.port());
  // A server sets the line up as it opens the device for a new client.
  line.waitForClient = [&socatServer] {
    const size_t before = socatServer.Settings().size();
    WaitUntil([&] { return socatServer.Settings().size() > before; }, 30000);
  };
  return line;
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
  const std::vector<uint8_t> data = DataWithoutEndMark(kBigFile, 5);

  const double plainOut = PlainCopyOut(pty, data);
  const double sendRate = SendRate(dir, pty, data);
  std::printf("send 64 MiB:    engine %.1f MiB/s, plain copy %.1f MiB/s (%.0f%%)\n", sendRate,
              plainOut, sendRate / plainOut * 100.0);

  CompareReceive("receive over a pseudo-terminal", dir, PtyLine(pty), data, kReceiveRounds);
  {
    DeviceServer raw(dir.path(), TAZO_PTY_SHIM, pty.devicePath(), "tcp");
    DeviceServer rfc2217(dir.path(), TAZO_PTY_SHIM, pty.devicePath(), "telnet(rfc2217),tcp");
    CompareReceive("receive through ser2net, raw TCP", dir, NetworkLine(pty, raw, raw, "tcp"), data,
                   kReceiveRounds);
    CompareReceive("receive through ser2net, RFC 2217 (socat on raw TCP)", dir,
                   NetworkLine(pty, raw, rfc2217, "telnet(rfc2217),tcp"), data, kReceiveRounds);
    raw.Stop();
    rfc2217.Stop();
  }
  pty.LinkAs(dir.path(), "COM1");

  std::printf("paced line (115200 baud, 256 KiB): busy %.2f%% of the time\n",
              PacedBusyShare(dir, pty));
  std::printf("idle listener over 10 s: %.4f%% of one core\n", IdleListenerCpu());

  app.mainWindow = nullptr;
  ClearAppState();
  return 0;
}
