// Many machines on one host: N listen services (64 unless given), each in its own start directory
// with its own tazo-machine on a pseudo-terminal. Measures the CPU of all N while idle, the memory
// of each, the time until N listings asked for at once have all arrived and been checked, and
// the CPU while all N send a 100 KiB file on lines paced at 115200 baud.
// Usage: bench_services [N] [IDLE_SECONDS]

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_app.h"
#include "platform/system.h"
#include "support/child_process.h"

extern char** environ;

namespace {

constexpr size_t kPacedFileBytes = 100u << 10;
constexpr double kPacedBytesPerSecond = 11520.0;  // 115200 baud, 10 bits a character
constexpr int kListedFiles = 20;

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

pid_t Spawn(const std::vector<std::string>& arguments, int input, const std::string& output) {
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0) {
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv.data()), environ) !=
      0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The CPU a process has used, all its threads together (those that have ended too), exact to
// the nanosecond: /proc counts in ticks of 10 ms per process, too coarse for services that each use
// a few milliseconds in a phase.
double CpuSeconds(pid_t pid) {
  clockid_t clock;
  timespec used{};
  if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &used) != 0) return 0;
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

std::string StatusField(pid_t pid, const std::string& name) {
  std::istringstream status(ReadFileText("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      const size_t value = line.find_first_not_of(" \t", name.size() + 1);
      return value == std::string::npos ? "" : line.substr(value);
    }
  }
  return "";
}

std::string LoadAverage() {
  std::string load = ReadFileText("/proc/loadavg");
  return load.substr(0, load.find(' ', load.find(' ', load.find(' ') + 1) + 1));
}

struct Machine {
  std::string dir;
  pid_t machine = -1;
  int machineInput = -1;
  pid_t service = -1;
  // The bench's own line for the paced transfer.
  int master = -1;
  int device = -1;
  size_t paced = 0;
  bool endSeen = false;
};

double SumCpu(const std::vector<Machine>& machines, pid_t Machine::*which) {
  double total = 0;
  for (const Machine& m : machines) total += CpuSeconds(m.*which);
  return total;
}

bool WaitAll(const std::vector<Machine>& machines, int timeoutMs,
             const std::function<bool(const Machine&)>& done) {
  const uint64_t deadline = platform::MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs);
  for (;;) {
    if (std::all_of(machines.begin(), machines.end(), done)) return true;
    if (platform::MonotonicMilliseconds() >= deadline) return false;
    platform::SleepMilliseconds(5);
  }
}

bool LineOpen(int master) {
  termios line{};
  return tcgetattr(master, &line) == 0 && cfgetospeed(&line) == B115200;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 64;
  const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 30;
  if (count <= 0 || idleSeconds <= 0) {
    std::fprintf(stderr, "usage: bench_services [N] [IDLE_SECONDS]\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  char rootTemplate[] = "/tmp/tazo-services-XXXXXX";
  const std::string root = mkdtemp(rootTemplate);
  std::printf("%d services, each with its own tazo-machine; load before: %s\n", count,
              LoadAverage().c_str());

  std::vector<Machine> machines(static_cast<size_t>(count));
  const std::string big(kPacedFileBytes, 'G');
  for (int i = 0; i < count; ++i) {
    Machine& m = machines[static_cast<size_t>(i)];
    m.dir = root + "/m" + std::to_string(i);
    mkdir(m.dir.c_str(), 0755);
    for (int f = 0; f < kListedFiles; ++f) {
      std::ofstream(m.dir + "/O" + std::to_string(1000 + f) + ".nc")
          << "%\r\nO" << 1000 + f << "\r\nM30\r\n%\r\n";
    }
    std::ofstream(m.dir + "/big.nc", std::ios::binary) << big;
    WriteSettingsFile(m.dir + "/tazo.ini", MachineLineSettings("115200", m.dir));

    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0) return 1;
    // The machine links its pty in a folder of its own; the service's COM1 is the bench's link
    // to it, which stays however the machine ends: a missing COM1 would send the service to the
    // host's own serial port.
    const std::string machineDir = root + "/line" + std::to_string(i);
    mkdir(machineDir.c_str(), 0755);
    m.machine =
        Spawn({TAZO_MACHINE_PROGRAM, "--start", machineDir, "--commands", "SENDFILE,CHDIR,DIR"},
              input[0], m.dir + "/machine.out");
    close(input[0]);
    m.machineInput = input[1];
  }
  // Each service starts once its COM1 is there.
  for (int i = 0; i < count; ++i) {
    const std::string machineLink = root + "/line" + std::to_string(i) + "/COM1";
    const uint64_t deadline = platform::MonotonicMilliseconds() + 30000;
    char line[256] = {};
    while (readlink(machineLink.c_str(), line, sizeof line - 1) <= 0) {
      if (platform::MonotonicMilliseconds() >= deadline) {
        std::fprintf(stderr, "a machine did not link its line\n");
        return 1;
      }
      platform::SleepMilliseconds(5);
    }
    if (symlink(line, (machines[static_cast<size_t>(i)].dir + "/COM1").c_str()) != 0) return 1;
  }
  const uint64_t startedAt = platform::MonotonicMilliseconds();
  for (Machine& m : machines) {
    m.service = Spawn({TAZO_SERVICE_PROGRAM, m.dir}, -1, m.dir + "/service.out");
  }
  const bool allListen = WaitAll(machines, 60000, [](const Machine& m) {
    return ReadFileText(m.dir + "/service.out").find("listening in") != std::string::npos;
  });
  std::printf("all %d started and listening: %s after %.2f s\n", count, allListen ? "yes" : "NO",
              static_cast<double>(platform::MonotonicMilliseconds() - startedAt) / 1e3);

  // Idle: give every service time to open its line, then measure.
  platform::SleepMilliseconds(3000);
  const double idleServicesBefore = SumCpu(machines, &Machine::service);
  const double idleMachinesBefore = SumCpu(machines, &Machine::machine);
  const uint64_t idleStart = platform::MonotonicMilliseconds();
  platform::SleepMilliseconds(static_cast<uint32_t>(idleSeconds) * 1000);
  const double idleWall = static_cast<double>(platform::MonotonicMilliseconds() - idleStart) / 1e3;
  const double idleServices = SumCpu(machines, &Machine::service) - idleServicesBefore;
  const double idleMachines = SumCpu(machines, &Machine::machine) - idleMachinesBefore;
  std::printf(
      "idle over %.0f s: all %d services %.5f %% of a core (goal < 1 %%); the machines %.5f %%\n",
      idleWall, count, idleServices / idleWall * 100, idleMachines / idleWall * 100);

  std::vector<long> rss;
  std::vector<long> threads;
  for (const Machine& m : machines) {
    rss.push_back(std::atol(StatusField(m.service, "VmRSS").c_str()));
    threads.push_back(std::atol(StatusField(m.service, "Threads").c_str()));
  }
  std::vector<long> sorted = rss;
  std::sort(sorted.begin(), sorted.end());
  std::printf("RSS each: min %ld KiB, median %ld KiB, max %ld KiB (goal < 8192 KiB); threads %ld\n",
              sorted.front(), sorted[sorted.size() / 2], sorted.back(),
              *std::max_element(threads.begin(), threads.end()));

  // All N listings at once, each checked by its machine.
  std::string ask = "ask dir\nexpect reply listing\nexpect entry big.nc " +
                    std::to_string(kPacedFileBytes) + "\n";
  for (int f = 0; f < kListedFiles; ++f)
    ask += "expect entry O" + std::to_string(1000 + f) + ".nc\n";
  const size_t checks = 2 + kListedFiles;
  std::vector<size_t> okBefore;
  for (const Machine& m : machines)
    okBefore.push_back(Count(ReadFileText(m.dir + "/machine.out"), "ok: "));
  const uint64_t askedAt = platform::MonotonicMilliseconds();
  for (const Machine& m : machines) {
    if (write(m.machineInput, ask.data(), ask.size()) != static_cast<ssize_t>(ask.size())) return 1;
  }
  const bool listed = WaitAll(machines, 120000, [&](const Machine& m) {
    const size_t at = static_cast<size_t>(&m - machines.data());
    return Count(ReadFileText(m.dir + "/machine.out"), "ok: ") >= okBefore[at] + checks;
  });
  const double listingSeconds =
      static_cast<double>(platform::MonotonicMilliseconds() - askedAt) / 1e3;
  int failed = 0;
  for (const Machine& m : machines)
    failed += Count(ReadFileText(m.dir + "/machine.out"), "FAILED") > 0;
  std::printf(
      "%d listings asked at once: all arrived whole and checked: %s, after %.2f s; %d wrong\n",
      count, listed ? "yes" : "NO", listingSeconds, failed);

  // The paced file: each line is taken over by the bench, which reads at 115200 baud. The link
  // is replaced before its machine ends, so no service ever opens the old line again.
  for (Machine& m : machines) {
    char name[256] = {};
    if (openpty(&m.master, &m.device, name, nullptr, nullptr) != 0) return 1;
    termios raw{};
    tcgetattr(m.device, &raw);
    cfmakeraw(&raw);
    tcsetattr(m.device, TCSANOW, &raw);
    fcntl(m.master, F_SETFL, fcntl(m.master, F_GETFL) | O_NONBLOCK);
    const std::string fresh = m.dir + "/COM1.new";
    unlink(fresh.c_str());
    if (symlink(name, fresh.c_str()) != 0 ||
        rename(fresh.c_str(), (m.dir + "/COM1").c_str()) != 0) {
      return 1;
    }
  }
  for (Machine& m : machines) {
    close(m.machineInput);
    kill(m.machine, SIGTERM);
  }
  for (Machine& m : machines) waitpid(m.machine, nullptr, 0);
  if (!WaitAll(machines, 60000, [](const Machine& m) { return LineOpen(m.master); })) {
    std::fprintf(stderr, "the services did not take the paced lines\n");
  }
  const std::string request = "%MPF999\r\nSENDFILE big.nc\r\n\x03";
  const double pacedBefore = SumCpu(machines, &Machine::service);
  const double benchBefore = CpuSeconds(getpid());
  const uint64_t pacedStart = platform::MonotonicMilliseconds();
  for (Machine& m : machines) {
    if (write(m.master, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
      return 1;
  }
  // Each line gives what 115200 baud carries since the reply's first byte, and no more.
  std::vector<uint64_t> firstByteAt(machines.size(), 0);
  uint64_t lastDataAt = pacedStart;
  char buffer[4096];
  const uint64_t deadline = pacedStart + 120000;
  while (platform::MonotonicMilliseconds() < deadline) {
    bool allDone = true;
    const uint64_t now = platform::MonotonicMilliseconds();
    for (size_t i = 0; i < machines.size(); ++i) {
      Machine& m = machines[i];
      if (m.endSeen) continue;
      allDone = false;
      size_t allowed = sizeof buffer;
      if (firstByteAt[i] != 0) {
        const double due = static_cast<double>(now - firstByteAt[i]) / 1e3 * kPacedBytesPerSecond;
        allowed = due > static_cast<double>(m.paced) ? static_cast<size_t>(due) - m.paced : 0;
        if (m.paced < kPacedFileBytes) allowed = std::min(allowed, kPacedFileBytes - m.paced);
        allowed = std::min(allowed, sizeof buffer);
        if (m.paced >= kPacedFileBytes) allowed = 1;
      } else {
        allowed = 1;
      }
      if (allowed == 0) continue;
      const ssize_t got = read(m.master, buffer, allowed);
      if (got <= 0) continue;
      if (firstByteAt[i] == 0) firstByteAt[i] = now;
      m.paced += static_cast<size_t>(got);
      if (buffer[got - 1] == '\x03' && m.paced == kPacedFileBytes + 1) {
        m.endSeen = true;
        lastDataAt = now;
      }
    }
    if (allDone) break;
    platform::SleepMilliseconds(10);
  }
  const double pacedWall = static_cast<double>(lastDataAt - pacedStart) / 1e3;
  const double pacedServices = SumCpu(machines, &Machine::service) - pacedBefore;
  const double benchCpu = CpuSeconds(getpid()) - benchBefore;
  int whole = 0;
  for (const Machine& m : machines) whole += m.endSeen;
  std::printf(
      "%d files of 100 KiB sent at once on lines paced at 115200 baud: %d whole after %.1f s; all "
      "%d services %.3f %% of a core (the bench's reader %.2f %%)\n",
      count, whole, pacedWall, count, pacedServices / pacedWall * 100, benchCpu / pacedWall * 100);

  // Their whole life, from the kernel's count for reaped children.
  rusage childrenBefore{};
  getrusage(RUSAGE_CHILDREN, &childrenBefore);
  for (Machine& m : machines) kill(m.service, SIGTERM);
  int clean = 0;
  for (Machine& m : machines) {
    int status = 0;
    waitpid(m.service, &status, 0);
    clean += WIFEXITED(status) && WEXITSTATUS(status) == 0;
    close(m.master);
    close(m.device);
  }
  rusage childrenAfter{};
  getrusage(RUSAGE_CHILDREN, &childrenAfter);
  auto seconds = [](const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  };
  const double lifeWall = static_cast<double>(platform::MonotonicMilliseconds() - startedAt) / 1e3;
  const double lifeCpu = seconds(childrenAfter) - seconds(childrenBefore);
  std::printf(
      "ended by SIGTERM with status 0: %d of %d; their whole life (start, idle, listings, paced "
      "files, end): %.3f s CPU in all over %.1f s, %.3f %% of a core; load after: %s\n",
      clean, count, lifeCpu, lifeWall, lifeCpu / lifeWall * 100, LoadAverage().c_str());
  std::filesystem::remove_all(root);
  return 0;
}
