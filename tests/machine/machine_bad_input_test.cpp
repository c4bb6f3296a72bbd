// tazo-machine on inputs that are not files it can read: a device, a directory, a FIFO, a file
// past the load limit, a memory folder holding such entries, scripts that cannot be read. Each is
// refused in one line with its status, within a deadline, so that a hang fails rather than blocks.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "machine/disk_file.h"
#include "support/child_process.h"
#include "support/pty_pair.h"

namespace {

struct MachineRun {
  bool ended = false;
  int status = -1;  // -1 when it did not exit by itself
  std::string said;
};

// The machine with `arguments`, its output and error in one file; killed when it outlives the
// deadline.
MachineRun RunMachine(const std::vector<std::string>& arguments, const std::string& output) {
  MachineRun run;
  {
    ChildProcess machine(TAZO_MACHINE_PROGRAM, arguments, output, "");
    run.status = machine.WaitForExit(30000);
    run.ended = machine.ended();
  }
  run.said = ReadFileText(output);
  return run;
}

}  // namespace

TEST(MachineBadInput, DevicesDirectoriesFifosAndOversizedFilesAreRefusedInOneLine) {
  TempDir dir;
  dir.Write("good.nc", "%\r\nO0001\r\nM30\r\n%\r\n");
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
  {
    // Past the limit by one byte, without taking the disk's room.
    const int big = open(dir.File("big.nc").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(big, 0);
    ASSERT_EQ(ftruncate(big, static_cast<off_t>(machine::kLoadLimitBytes) + 1), 0);
    close(big);
  }
  ASSERT_EQ(mkdir(dir.File("memory").c_str(), 0755), 0);
  dir.Write("memory/O1000.nc", "%\r\nO1000\r\nM30\r\n%\r\n");
  ASSERT_EQ(mkdir(dir.File("memory/programs").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir.File("memory/pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", dir.File("memory/zero").c_str()), 0);

  struct Case {
    const char* what;
    std::vector<std::string> options;  // --start and --script are added
    std::string script;                // written to a file; empty: `scriptPath` as it stands
    std::string scriptPath;
    int status;
    std::vector<std::string> said;
    bool settingsFifo = false;  // the start directory's tazo.ini is a FIFO
  };
  const std::string d = dir.path() + "/";
  const std::vector<Case> cases = {
      {"load /dev/zero",
       {},
       "load " + d + "good.nc\nload /dev/zero\n",
       "",
       1,
       {"loaded good.nc, 18 bytes",
        "FAILED line 2: cannot load /dev/zero: a character device, not a regular file"}},
      {"load DIRECTORY",
       {},
       "load " + d + "sub\n",
       "",
       1,
       {"FAILED line 1: cannot load " + d + "sub: a directory, not a regular file"}},
      {"load FIFO",
       {},
       "load " + d + "fifo\n",
       "",
       1,
       {"FAILED line 1: cannot load " + d + "fifo: a FIFO, not a regular file"}},
      {"load past the limit",
       {},
       "load " + d + "big.nc\n",
       "",
       1,
       {"FAILED line 1: cannot load " + d + "big.nc: " +
        std::to_string(machine::kLoadLimitBytes + 1) + " bytes, more than the limit of 64 MiB"}},
      {"send FIFO",
       {},
       "send " + d + "fifo\n",
       "",
       1,
       {"FAILED line 1: no file " + d + "fifo in the memory, and on the disk: a FIFO"}},
      {"save to a FIFO",
       {},
       "put x y\nsave x " + d + "fifo\n",
       "",
       1,
       {"FAILED line 2: cannot write " + d + "fifo: a FIFO, not a regular file"}},
      {"--memory with a folder, a FIFO and a link to a device",
       {"--memory", d + "memory"},
       "show O1000.nc\n",
       "",
       0,
       {"memory: skipped pipe: a FIFO, not a regular file\n",
        "memory: skipped programs: a directory, not a regular file\n",
        "memory: skipped zero: a character device, not a regular file\n",
        "O1000.nc, 18 bytes:", "script done: every line held"}},
      {"--script that does not exist",
       {},
       "",
       d + "no-such.script",
       2,
       {"cannot read the script " + d + "no-such.script: No such file or directory"}},
      {"--script DIRECTORY",
       {},
       "",
       d + "sub",
       2,
       {"cannot read the script " + d + "sub: a directory, not a regular file"}},
      {"--script FIFO",
       {},
       "",
       d + "fifo",
       2,
       {"cannot read the script " + d + "fifo: a FIFO, not a regular file"}},
      {"tazo.ini a FIFO",
       {},
       "ask dir\n",
       "",
       1,
       {"FAILED line 1: cannot read the command names from", "tazo.ini: a FIFO"},
       true},
  };
  for (size_t index = 0; index < cases.size(); ++index) {
    const Case& c = cases[index];
    SCOPED_TRACE(c.what);
    const std::string start = d + "start" + std::to_string(index);
    ASSERT_EQ(mkdir(start.c_str(), 0755), 0);
    if (c.settingsFifo) {
      ASSERT_EQ(mkfifo((start + "/tazo.ini").c_str(), 0644), 0);
    }
    std::string scriptPath = c.scriptPath;
    if (scriptPath.empty()) {
      scriptPath = start + "/check.script";
      dir.Write("start" + std::to_string(index) + "/check.script", c.script);
    }
    std::vector<std::string> arguments = {"--start", start, "--script", scriptPath};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const MachineRun run = RunMachine(arguments, start + "/machine.out");
    if (!run.ended || run.status < 0) {
      ADD_FAILURE() << (run.ended ? "ended abnormally" : "still running after 30 s") << ":\n"
                    << run.said;
      continue;
    }
    EXPECT_EQ(run.status, c.status) << run.said;
    for (const std::string& text : c.said) {
      EXPECT_NE(run.said.find(text), std::string::npos) << text << "\n---\n" << run.said;
    }
  }
}
