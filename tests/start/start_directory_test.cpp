// The start directory as the real tazo-headless meets it: folders it cannot hold are refused at
// start, a folder deleted while it listens never sends it to another port, and a second program in
// a folder where one runs is refused while the first answers every request; SIGTERM during a reply
// countdown ends it as a confirmed close does. Where a run could reach the machine's own
// ports, the program runs in a private mount namespace where a pseudo-terminal of the test's own
// stands in for every /dev/ttyS*, so that such an open is seen and reaches no real port.

#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_app.h"
#include "platform/system.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"

extern char** environ;

namespace {

// Exit status of the child that could not make its namespace.
constexpr int kNoNamespace = 77;

std::set<std::string> Entries(const std::string& directory) {
  std::set<std::string> names;
  if (DIR* stream = opendir(directory.c_str())) {
    while (dirent* entry = readdir(stream)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(stream);
  }
  return names;
}

void WriteSettings(const std::string& directory, const std::string& workingDirectory,
                   uint8_t replyDelay = 0) {
  PortSettings settings = MachineLineSettings("9600", workingDirectory);
  settings.replyDelay = replyDelay;
  ASSERT_TRUE(WriteSettingsFile(directory + "/tazo.ini", settings));
}

// tazo-headless started in `directory` on `script`; its output goes to `scratch`'s "out" and
// "err".
pid_t SpawnHeadless(const TempDir& scratch, const std::string& directory,
                    const std::string& script) {
  scratch.Write("script", script);
  const std::string paths[] = {scratch.File("script"), scratch.File("out"), scratch.File("err")};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, paths[0].c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, paths[1].c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, paths[2].c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const char* arguments[] = {TAZO_HEADLESS_PROGRAM, directory.c_str(), nullptr};
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, TAZO_HEADLESS_PROGRAM, &actions, nullptr,
                        const_cast<char**>(arguments), environ),
            0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The status as a shell gives it: 128 plus the number of a signal that ended the program.
int ExitStatus(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A pseudo-terminal whose device end only others hold: the master tells whether one does.
class WatchedPty {
 public:
  WatchedPty() {
    int device = -1;
    char name[256] = {};
    if (openpty(&master_, &device, name, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty: " << std::strerror(errno);
      return;
    }
    termios raw{};
    tcgetattr(device, &raw);
    cfmakeraw(&raw);
    tcsetattr(device, TCSANOW, &raw);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    close(device);
    path_ = name;
  }
  ~WatchedPty() {
    if (master_ >= 0) close(master_);
  }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  // True while some process has the device end open (the master then sees no hang-up).
  bool HeldOpen() const {
    pollfd state{master_, 0, 0};
    poll(&state, 1, 0);
    return (state.revents & POLLHUP) == 0;
  }

 private:
  int master_ = -1;
  std::string path_;
};

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// tazo-headless on `script` in `directory`, in a mount namespace of its own where `standIn` is
// bound over every /dev/ttyS*. `during` runs every few milliseconds while the program does.
class ConfinedRun {
 public:
  ConfinedRun(const std::string& scratch, const WatchedPty& standIn)
      : scratch_(scratch), standIn_(standIn) {
    glob_t found{};
    if (glob("/dev/ttyS*", 0, nullptr, &found) == 0) {
      for (size_t i = 0; i < found.gl_pathc; ++i) ports_.push_back(found.gl_pathv[i]);
    }
    globfree(&found);
  }

  Outcome Run(
      const std::string& directory, const std::string& script,
      const std::function<void()>& during = [] {}) {
    const std::string scriptPath = scratch_ + "/script";
    const std::string outPath = scratch_ + "/out";
    const std::string errPath = scratch_ + "/err";
    std::ofstream(scriptPath, std::ios::binary) << script;
    const int in = open(scriptPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const char* arguments[] = {TAZO_HEADLESS_PROGRAM, "--utf8", directory.c_str(), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
      // Only system calls from here to the program.
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
        static_cast<void>(write(err, "no mount namespace\n", 19));
        _exit(kNoNamespace);
      }
      for (const std::string& port : ports_) {
        if (mount(standIn_.path().c_str(), port.c_str(), nullptr, MS_BIND, nullptr) != 0) {
          _exit(kNoNamespace + 1);
        }
      }
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      execve(TAZO_HEADLESS_PROGRAM, const_cast<char**>(arguments), environ);
      _exit(127);
    }
    close(in);
    close(out);
    close(err);
    Outcome outcome;
    EXPECT_GT(pid, 0);
    if (pid <= 0) return outcome;
    const uint64_t deadline = platform::MonotonicMilliseconds() + 60000;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
      if (standIn_.HeldOpen()) machinePortOpened_ = true;
      during();
      if (platform::MonotonicMilliseconds() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "the program did not end";
        break;
      }
      pollfd nothing{-1, 0, 0};
      poll(&nothing, 0, 5);
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.out = ReadFileText(outPath);
    outcome.err = ReadFileText(errPath);
    return outcome;
  }

  // Whether any run opened a /dev/ttyS* (the stand-in).
  bool machinePortOpened() const { return machinePortOpened_; }

 private:
  std::string scratch_;
  const WatchedPty& standIn_;
  std::vector<std::string> ports_;
  bool machinePortOpened_ = false;
};

// What the program may write anywhere but in its start directory: nothing, and these in the root
// are what a program without a start directory wrote.
const char* const kRootFiles[] = {"/tazo.ini", "/tazo.ini.new", "/log.txt"};

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

TEST(StartDirectory, FoldersTheProgramCannotHoldAreRefusedAndNothingIsTouched) {
  TempDir scratch;
  WatchedPty standIn;
  ASSERT_FALSE(standIn.HeldOpen());
  ConfinedRun run(scratch.path(), standIn);
  std::set<std::string> rootFilesBefore;
  for (const char* file : kRootFiles) {
    if (Exists(file)) rootFilesBefore.insert(file);
  }

  // A name Windows-1250 cannot spell, and a path one byte too long for a path field.
  const std::string cyrillic = scratch.File(u8"Станок1");
  std::string longPath = scratch.File(std::string(200, 'a'));
  ASSERT_LT(longPath.size(), 259u);
  longPath += "/" + std::string(259 - longPath.size(), 'b');
  ASSERT_EQ(longPath.size(), 260u);
  struct Case {
    std::string directory;
    std::string reason;
  };
  const Case cases[] = {
      {cyrillic,
       "The program cannot work in this folder because its name has characters "
       "outside Windows-1250"},
      {longPath,
       "The program cannot work in this folder because its path is longer than 259 "
       "bytes"},
  };
  for (const Case& refused : cases) {
    SCOPED_TRACE(refused.directory);
    ASSERT_EQ(mkdir(refused.directory.substr(0, refused.directory.rfind('/')).c_str(), 0755) == 0 ||
                  errno == EEXIST,
              true);
    ASSERT_EQ(mkdir(refused.directory.c_str(), 0755), 0);
    WriteSettings(refused.directory, scratch.path());
    const std::string settings = ReadFileText(refused.directory + "/tazo.ini");
    // Were it to start, it would listen on its COM1, save the settings and leave.
    const Outcome outcome = run.Run(refused.directory,
                                    "press ListenButton\nwait 1500\npress ListenButton\n"
                                    "answer yes\nclose\n");
    if (outcome.status == kNoNamespace) {
      GTEST_SKIP() << "no private mount namespace here (unshare needs CAP_SYS_ADMIN), so the "
                      "machine's own ports cannot be kept out of reach";
    }
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.err, "tazo-headless: " + refused.reason + ": " + refused.directory + "\n");
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(Entries(refused.directory), std::set<std::string>{"tazo.ini"});
    EXPECT_EQ(ReadFileText(refused.directory + "/tazo.ini"), settings);
  }
  EXPECT_FALSE(run.machinePortOpened()) << "a /dev/ttyS* was opened";
  for (const char* file : kRootFiles) {
    if (rootFilesBefore.count(file) == 0 && Exists(file)) {
      ADD_FAILURE() << file << " was written";
      unlink(file);
    }
  }
}

TEST(StartDirectory, AFolderDeletedWhileListeningFailsToOpenThePortAndFallsBackToNone) {
  TempDir scratch;
  WatchedPty standIn;
  WatchedPty line;
  ConfinedRun run(scratch.path(), standIn);
  const std::string start = scratch.File("start");
  ASSERT_EQ(mkdir(start.c_str(), 0755), 0);
  WriteSettings(start, start);
  ASSERT_EQ(symlink(line.path().c_str(), (start + "/COM1").c_str()), 0);

  bool deleted = false;
  bool lineHeld = false;
  const Outcome outcome = run.Run(start,
                                  "press ListenButton\n"
                                  "wait-contains ErrorsBox 30000 opening port\n"
                                  "print ErrorsBox\n"
                                  "press ListenButton\n"
                                  "answer yes\n"
                                  "close\n",
                                  [&] {
                                    if (deleted || !line.HeldOpen()) return;
                                    lineHeld = true;
                                    // Listening: the folder goes, and a block that is no command
                                    // makes the program open its port again.
                                    for (const char* name : {"/COM1", "/tazo.ini", "/log.txt"})
                                      unlink((start + name).c_str());
                                    EXPECT_EQ(rmdir(start.c_str()), 0);
                                    deleted = true;
                                    EXPECT_EQ(write(line.master(), "G01 X1\r\n\x03", 9), 9);
                                  });
  if (outcome.status == kNoNamespace) {
    GTEST_SKIP() << "no private mount namespace here (unshare needs CAP_SYS_ADMIN), so the "
                    "machine's own ports cannot be kept out of reach";
  }
  EXPECT_TRUE(lineHeld) << "the program never listened on its COM1";
  EXPECT_EQ(outcome.status, 0) << outcome.out << outcome.err;
  // The folder's own error, and no other port in its place.
  EXPECT_NE(outcome.out.find("(C:2) opening port"), std::string::npos) << outcome.out;
  EXPECT_FALSE(run.machinePortOpened()) << "a /dev/ttyS* was opened in the link's place";
  EXPECT_EQ(Entries(scratch.path()), (std::set<std::string>{"script", "out", "err"}));
}

TEST(StartDirectory, ASecondProgramInTheFolderIsRefusedAndTheFirstAnswersEveryRequest) {
  TempDir dir;
  PtyPair pty;
  pty.LinkAs(dir.path(), "COM1");
  WriteSettings(dir.path(), dir.path());
  dir.Write("part.nc", "G01 X1\r\n");

  TempDir scratch;
  auto spawn = [&](const std::string& script) {
    return SpawnHeadless(scratch, dir.path(), script);
  };

  {
    ClearAppState();
    HeadlessApp first;
    std::string error;
    ASSERT_TRUE(first.Start(dir.path(), &error)) << error;
    ASSERT_TRUE(first.Press(ListenButton, &error)) << error;
    HeadlessSurface& surface = first.surface();
    ASSERT_TRUE(surface.WaitUntil([] { return app.transferRunning.load() == 1; },
                                  std::chrono::milliseconds(20000)));
    const std::vector<uint8_t> settings = dir.Read("tazo.ini");
    const bool logThere = dir.Exists("log.txt");

    // Started, it would listen on the same port for three seconds and save its settings.
    const pid_t second = spawn(
        "press ListenButton\nwait 3000\npress ListenButton\ntype DelayField 7\nanswer "
        "yes\nclose\n");
    EXPECT_EQ(ExitStatus(second), 2);
    EXPECT_EQ(ReadFileText(scratch.File("err")),
              "tazo-headless: The program is already running in this folder: " + dir.path() + "\n");
    EXPECT_EQ(dir.Read("tazo.ini"), settings);
    EXPECT_EQ(dir.Exists("log.txt"), logThere);

    for (int request = 0; request < 2; ++request) {
      SCOPED_TRACE(request);
      pty.Write("%MPF999\r\nDIR\r\n\x03");
      std::string reply;
      const uint64_t deadline = platform::MonotonicMilliseconds() + 20000;
      while (reply.empty() || reply.back() != 3) {
        if (platform::MonotonicMilliseconds() > deadline) break;
        const std::vector<uint8_t> part = pty.ReadAvailable(4096, 100);
        reply.append(part.begin(), part.end());
      }
      EXPECT_EQ(reply.rfind("%MPF998\r\n", 0), 0u) << reply;
      EXPECT_NE(reply.find("part.nc"), std::string::npos) << reply;
      // Listening again before the next request.
      EXPECT_TRUE(surface.WaitUntil(
          [] { return app.transferRunning.load() == 1 && app.transferMode.load() == 1; },
          std::chrono::milliseconds(20000)));
    }
    EXPECT_EQ(surface.GetText(ErrorsBox).find("opening port"), std::string::npos)
        << surface.GetText(ErrorsBox);
    ASSERT_TRUE(first.Press(ListenButton, &error)) << error;
  }
  ClearAppState();

  // A program that is killed loses its claim with its life: the next one starts.
  const pid_t killed = spawn("print DelayField\nwait 60000\n");
  ASSERT_TRUE(WaitUntil([&] { return !ReadFileText(scratch.File("out")).empty(); }, 20000));
  EXPECT_EQ(ExitStatus(spawn("answer yes\nclose\n")), 2);
  ASSERT_EQ(kill(killed, SIGKILL), 0);
  EXPECT_EQ(ExitStatus(killed), 128 + SIGKILL);
  EXPECT_EQ(ExitStatus(spawn("answer yes\nclose\n")), 0) << ReadFileText(scratch.File("err"));
}

TEST(StartDirectory, SigtermDuringAReplyCountdownEndsTheHeadlessProgramAsAConfirmedClose) {
  TempDir dir;
  WatchedPty line;
  ASSERT_EQ(symlink(line.path().c_str(), dir.File("COM1").c_str()), 0);
  // A countdown long enough to be in it when the signal comes.
  WriteSettings(dir.path(), dir.path(), 30);
  TempDir scratch;
  const pid_t pid = SpawnHeadless(scratch, dir.path(), "press ListenButton\nwait 120000\n");
  const bool counting = WaitUntil([&] { return line.HeldOpen(); }, 20000) &&
                        write(line.master(), "%MPF999\r\nDIR\r\n\x03", 15) == 15 &&
                        WaitUntil([&] { return dir.Exists("dispdir1.tmp"); }, 20000);
  // The settings as they were at the start are gone: only the close can bring them back.
  EXPECT_EQ(unlink(dir.File("tazo.ini").c_str()), 0);
  kill(pid, SIGTERM);
  const int status = ExitStatus(pid);
  ASSERT_TRUE(counting) << ReadFileText(scratch.File("out"));
  // The status a signal gives, and the program's word that it closed before it ended.
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_EQ(ReadFileText(scratch.File("out")), "signal 15: the window is closed without asking\n");
  EXPECT_FALSE(dir.Exists("dispdir1.tmp"));
  const std::vector<uint8_t> saved = dir.Read("tazo.ini");
  ASSERT_EQ(saved.size(), sizeof(PortSettings));
  EXPECT_EQ(saved[offsetof(PortSettings, replyDelay)], 30);
}

}  // namespace

namespace {

// A script named on the command line that is a folder ran nothing and passed; a FIFO hung.
TEST(StartDirectory, AScriptThatIsNoRegularFileIsRefusedBeforeTheStart) {
  TempDir dir;
  TempDir scratch;
  ASSERT_EQ(mkfifo(scratch.File("fifo").c_str(), 0600), 0);
  for (const std::string& script : {scratch.path(), scratch.File("fifo")}) {
    SCOPED_TRACE(script);
    ChildProcess headless(TAZO_HEADLESS_PROGRAM, {dir.path(), script}, scratch.File("out"),
                          scratch.File("err"));
    EXPECT_EQ(headless.WaitForExit(20000), 2);
    EXPECT_EQ(headless.Errors(),
              "tazo-headless: the script " + script + " is not a regular file\n");
    EXPECT_TRUE(Entries(dir.path()).empty());
  }
}

}  // namespace
