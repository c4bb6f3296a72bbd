// The receive over a port on the network: ser2net serves a pseudo-terminal on 127.0.0.1 and a
// child process pours a file into the pty as fast as it takes it. Side by side: socat as the
// client (raw TCP into a file), the receive engine over raw TCP and over RFC 2217. Rates and the
// client's CPU per MiB; ser2net's own CPU is the same for all and not counted.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_surface.h"
#include "platform/system.h"
#include "support/device_server.h"
#include "support/pty_pair.h"
#include "transfer/transfer_control.h"

namespace {

constexpr size_t kFile = 32u << 20;
constexpr double kMiB = 1 << 20;

struct Figures {
  double mibPerSecond;
  double cpuMsPerMiB;
};

double CpuMs(const rusage& usage) {
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

std::vector<uint8_t> DataWithoutEndMark(size_t size) {
  std::vector<uint8_t> data = RandomBytes(size, 9);
  for (uint8_t& byte : data)
    if (byte == 3) byte = 4;
  return data;
}

// A child that writes `data` and the end byte into the master, outside the measured process.
pid_t Pour(int master, const std::vector<uint8_t>& data) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  size_t done = 0;
  const uint8_t end = 3;
  while (done <= data.size()) {
    const uint8_t* from = done < data.size() ? data.data() + done : &end;
    const size_t count = done < data.size() ? std::min<size_t>(65536, data.size() - done) : 1;
    const ssize_t put = write(master, from, count);
    if (put > 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    pollfd ready{master, POLLOUT, 0};
    poll(&ready, 1, 1000);
  }
  _exit(0);
}

// Waits until the device server has opened the device for a new client (it sets the line then).
void WaitForClient(const DeviceServer& server, size_t settingsBefore) {
  WaitUntil([&] { return server.Settings().size() > settingsBefore; }, 30000);
}

Figures SocatReceive(const DeviceServer& server, const PtyPair& pty, const TempDir& dir,
                     const std::vector<uint8_t>& data) {
  const std::string target = "OPEN:" + dir.File("socat.bin") + ",creat,trunc";
  const std::string source = "TCP:127.0.0.1:" + std::to_string(server.port());
  const char* argv[] = {"socat", "-u", source.c_str(), target.c_str(), nullptr};
  const size_t before = server.Settings().size();
  pid_t socat = -1;
  posix_spawnp(&socat, "socat", nullptr, nullptr, const_cast<char**>(argv), environ);
  WaitForClient(server, before);
  const uint64_t start = platform::MonotonicMilliseconds();
  const pid_t writer = Pour(pty.master(), data);
  struct stat info {};
  while (stat(dir.File("socat.bin").c_str(), &info) != 0 ||
         static_cast<size_t>(info.st_size) < data.size()) {
    platform::SleepMilliseconds(5);
  }
  const uint64_t end = platform::MonotonicMilliseconds();
  waitpid(writer, nullptr, 0);
  kill(socat, SIGTERM);
  rusage usage{};
  wait4(socat, nullptr, 0, &usage);
  const double mib = static_cast<double>(data.size()) / kMiB;
  return {mib / (static_cast<double>(end - start) / 1e3), CpuMs(usage) / mib};
}

Figures EngineReceive(const DeviceServer& server, const PtyPair& pty, const TempDir& dir,
                      const std::vector<uint8_t>& data, const std::string& address) {
  dir.Write("COM1", address + "\n");
  std::snprintf(app.openFilePath, sizeof app.openFilePath, "%s", dir.File("recv.bin").c_str());
  app.transferMode = 1;
  const size_t before = server.Settings().size();
  StartStopTransfer();
  WaitForClient(server, before);
  while (!app.portHandle.IsOpen()) platform::SleepMilliseconds(1);
  rusage usageBefore{};
  getrusage(RUSAGE_SELF, &usageBefore);
  const uint64_t start = platform::MonotonicMilliseconds();
  const pid_t writer = Pour(pty.master(), data);
  while (app.bytesReceived.load() < static_cast<int>(data.size())) {
    platform::SleepMilliseconds(5);
  }
  const uint64_t end = platform::MonotonicMilliseconds();
  rusage usageAfter{};
  getrusage(RUSAGE_SELF, &usageAfter);
  waitpid(writer, nullptr, 0);
  while (app.transferRunning.load() != 0 || platform::RunningDetachedThreads() != 0) {
    platform::SleepMilliseconds(5);
  }
  if (dir.Read("recv.bin") != data) std::printf("  (received file differs!)\n");
  const double mib = static_cast<double>(data.size()) / kMiB;
  return {mib / (static_cast<double>(end - start) / 1e3),
          (CpuMs(usageAfter) - CpuMs(usageBefore)) / mib};
}

void Print(const char* what, const Figures& figures, const Figures& reference) {
  std::printf("%-28s %7.1f MiB/s (%3.0f%% of socat's)  %6.2f ms CPU per MiB (%3.0f%% of socat's)\n",
              what, figures.mibPerSecond, figures.mibPerSecond / reference.mibPerSecond * 100.0,
              figures.cpuMsPerMiB, figures.cpuMsPerMiB / reference.cpuMsPerMiB * 100.0);
}

}  // namespace

int main() {
  TempDir dir;
  PtyPair pty;
  HeadlessSurface surface;
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
  const std::vector<uint8_t> data = DataWithoutEndMark(kFile);

  Figures socat{};
  Figures raw{};
  {
    DeviceServer server(dir.path(), TAZO_PTY_SHIM, pty.devicePath(), "tcp");
    socat = SocatReceive(server, pty, dir, data);
    raw = EngineReceive(server, pty, dir, data, "tcp,127.0.0.1," + std::to_string(server.port()));
    server.Stop();
  }
  DeviceServer server(dir.path(), TAZO_PTY_SHIM, pty.devicePath(), "telnet(rfc2217),tcp");
  const Figures rfc2217 = EngineReceive(
      server, pty, dir, data, "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(server.port()));
  server.Stop();

  std::printf("receive 32 MiB through ser2net, client side:\n");
  std::printf("%-28s %7.1f MiB/s                     %6.2f ms CPU per MiB\n", "socat (raw TCP)",
              socat.mibPerSecond, socat.cpuMsPerMiB);
  Print("engine, raw TCP", raw, socat);
  Print("engine, RFC 2217", rfc2217, socat);
  app.mainWindow = nullptr;
  ClearAppState();
  return 0;
}
