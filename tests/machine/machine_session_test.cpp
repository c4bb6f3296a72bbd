// tazo-machine against the program with the headless front end, over a pseudo-terminal that the
// machine makes and links as COM1: a file each way, a verification, a listen cycle with each of
// the three commands, and a last expectation that fails.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "core/app_state.h"
#include "frontend/headless/headless_app.h"
#include "frontend/headless/headless_messages.h"
#include "platform/system.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"

extern char** environ;

namespace {

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool Idle() {
  return app.transferRunning.load() == 0 && platform::RunningDetachedThreads() == 0;
}

}  // namespace

TEST(MachineSession, FilesBothWaysVerificationListenCycleAndAFailedExpectation) {
  TempDir dir;
  const std::string part = "%\r\nO0001 (PART)\r\nG21 G90\r\nG00 X10. Y20.\r\nM30\r\n%\r\n";
  const std::string back = "%\r\nO0002\r\nG01 Z-1. F100\r\nM30\r\n%\r\n";
  const std::string inner = "%\r\nO0003 (INNER)\r\nM30\r\n%\r\n";
  dir.Write("part.nc", part);
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  dir.Write("sub/inner.nc", inner);
  ASSERT_TRUE(WriteSettingsFile(dir.File("tazo.ini"), MachineLineSettings("9600", dir.path())));

  // The machine's side, from its memory and the disk; names from the program's tazo.ini.
  const std::string script =
      "put back.nc %\\r\\nO0002\\r\\nG01 Z-1. F100\\r\\nM30\\r\\n%\\r\\n\n"
      "expect file @" +
      dir.File("part.nc") +
      "\n"              // 2: the program sends part.nc
      "send back.nc\n"  // 3: ... receives back.nc
      "send " +
      dir.File("part.nc") +
      "\n"         // 4: ... verifies part.nc
      "ask dir\n"  // 5: listen mode from here on
      "expect reply listing\n"
      "expect entry part.nc " +
      std::to_string(part.size()) +
      "\n"
      "expect entry sub dir\n"
      "ask cd sub\n"
      "expect reply changed\n"
      "ask file inner.nc\n"
      "expect reply file\n"
      "expect contains O0003 (INNER)\n"
      "timeout 300\n"
      "expect file\n";  // 15: nothing more comes
  dir.Write("machine.script", script);

  const std::string output = dir.File("machine.out");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  const std::string start = dir.path();
  const std::string scriptPath = dir.File("machine.script");
  const char* arguments[] = {TAZO_MACHINE_PROGRAM, "--start",          start.c_str(),
                             "--script",           scriptPath.c_str(), nullptr};
  pid_t machinePid = 0;
  ASSERT_EQ(posix_spawn(&machinePid, TAZO_MACHINE_PROGRAM, &actions, nullptr,
                        const_cast<char**>(arguments), environ),
            0);
  posix_spawn_file_actions_destroy(&actions);
  int machineStatus = -1;
  auto machineEnded = [&] { return waitpid(machinePid, &machineStatus, WNOHANG) == machinePid; };

  {
    HeadlessApp program;
    HeadlessSurface& surface = program.surface();
    auto waitFor = [&](const std::function<bool()>& condition) {
      return surface.WaitUntil(condition, std::chrono::milliseconds(30000));
    };
    ASSERT_TRUE(waitFor([&] {
      struct stat link {};
      return lstat(dir.File("COM1").c_str(), &link) == 0;
    })) << ReadFileText(output);
    std::string error;
    ASSERT_TRUE(program.Start(dir.path(), &error)) << error;
    auto press = [&](int control) { ASSERT_TRUE(program.Press(control, &error)) << error; };

    QueueFileDialogPath(dir.File("part.nc"));
    press(SendFileButton);
    press(StartStopButton);
    ASSERT_TRUE(waitFor([&] { return app.transferRunning.load() == 1; }));
    ASSERT_TRUE(waitFor(Idle));

    QueueFileDialogPath(dir.File("back.nc"));
    press(ReceiveFileButton);
    press(StartStopButton);
    ASSERT_TRUE(waitFor([&] { return Idle() && ReadFileText(dir.File("back.nc")) == back; }))
        << ReadFileText(output);

    QueueFileDialogPath(dir.File("part.nc"));
    press(SendFileButton);
    press(VerifyButton);
    ASSERT_TRUE(waitFor([&] {
      return Idle() && app.verifyOn.load() == 0 &&
             surface.GetText(ErrorsBox).find("files are similar") != std::string::npos;
    })) << surface.GetText(ErrorsBox)
        << ReadFileText(output);

    press(ListenButton);
    EXPECT_TRUE(waitFor(machineEnded)) << ReadFileText(output);
    press(ListenButton);
    ASSERT_TRUE(waitFor(Idle));
    EXPECT_EQ(surface.GetText(ErrorsBox).find("invalid"), std::string::npos)
        << surface.GetText(ErrorsBox);
    QueueMessageAnswer(MessageAnswer::kYes);
    program.Close();
  }
  if (!machineEnded()) {
    kill(machinePid, SIGTERM);
    waitpid(machinePid, &machineStatus, 0);
  }

  const std::string said = ReadFileText(output);
  ASSERT_TRUE(WIFEXITED(machineStatus)) << said;
  EXPECT_EQ(WEXITSTATUS(machineStatus), 1) << said;
  EXPECT_NE(said.find("FAILED line 15: no file arrived within 300 ms"), std::string::npos) << said;
  EXPECT_EQ(CountOf(said, "ok: "), 7) << said;
  EXPECT_EQ(CountOf(said, "FAILED"), 1) << said;
  // What the machine printed of the line: the silence before the program's byte 3.
  std::smatch pause;
  ASSERT_TRUE(
      std::regex_search(said, pause,
                        std::regex("<- file from the program\n   " + std::to_string(part.size()) +
                                   " bytes, <03> after a pause of ([0-9]+) ms")))
      << said;
  EXPECT_GE(std::stoi(pause[1]), 900) << said;
  EXPECT_LE(std::stoi(pause[1]), 3000) << said;
  EXPECT_NE(said.find("kept as fetched/inner.nc"), std::string::npos) << said;
  // The link goes with the machine.
  struct stat link {};
  EXPECT_NE(lstat(dir.File("COM1").c_str(), &link), 0);
}
