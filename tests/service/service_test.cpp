// The listen service as its own process: a whole listen cycle against tazo-machine, the lines it
// writes, its end on a signal, and what it refuses.

#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "frontend/headless/headless_app.h"
#include "support/child_process.h"
#include "support/pty_pair.h"

namespace {

const std::string kEnd(1, '\x03');

std::string Command(const std::string& line) {
  return "%MPF999\r\n" + line + "\r\n" + kEnd;
}

// `port` of five characters fills its field with no terminator.
void WriteSettings(const TempDir& dir, uint8_t language, uint8_t replyDelay,
                   const std::string& workingDirectory, const std::string& port = "COM1") {
  PortSettings settings = MachineLineSettings("115200", workingDirectory);
  std::memset(settings.portName, 0, sizeof settings.portName);
  std::memcpy(settings.portName, port.data(), std::min(port.size(), sizeof settings.portName));
  settings.language = language;
  settings.replyDelay = replyDelay;
  ASSERT_TRUE(WriteSettingsFile(dir.File("tazo.ini"), settings));
}

// The service configures the line at 115200 when it opens the port and puts the pty's own rate
// back when it closes it: the rate tells whether it listens.
bool PortOpen(const PtyPair& pty) {
  termios line{};
  return tcgetattr(pty.master(), &line) == 0 && cfgetospeed(&line) == B115200;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool AnyTemporaryFile(const std::string& directory) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    if (entry.path().extension() == ".tmp") return true;
  }
  return false;
}

class Service {
 public:
  Service(const TempDir& dir, const std::vector<std::string>& arguments, const std::string& name)
      : process_(TAZO_SERVICE_PROGRAM, arguments, dir.File(name + ".out"),
                 dir.File(name + ".err")) {}
  explicit Service(const TempDir& dir, const std::string& name = "service")
      : Service(dir, {dir.path()}, name) {}
  ChildProcess& process() { return process_; }
  bool Says(const std::string& part) {
    return WaitUntil([&] { return Contains(process_.Output(), part); });
  }
  // The signal, then the time until the service has ended, and its status.
  int Terminate(uint64_t* tookMs, int number = SIGTERM) {
    const uint64_t start = platform::MonotonicMilliseconds();
    process_.Signal(number);
    const int status = process_.WaitForExit(10000);
    *tookMs = platform::MonotonicMilliseconds() - start;
    return status;
  }

 private:
  ChildProcess process_;
};

}  // namespace

// Every command against tazo-machine: the machine checks the replies, the test the service's
// standard output, its log and what it leaves behind.
TEST(ServiceTest, AnswersEveryCommandOfAListenCycleAndWritesALineForEach) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  dir.Write("sub/part.nc", "G01 X1\r\nM30\r\n");
  WriteSettings(dir, 1, 0, dir.path());
  dir.Write("check.txt",
            "ask dir\nexpect reply listing\nexpect entry sub dir\n"
            "ask cd sub\nexpect reply changed\n"
            "ask file part.nc\nexpect reply file\nexpect contains G01 X1\n"
            "ask file missing.nc\nexpect reply not-sent\n"
            "ask cd /nonexistent\nexpect reply not-changed\n"
            "wait 120000\n");
  // The machine links its pty in a folder of its own; the service's COM1 is the test's link to
  // the same pty, which stays when the machine ends, however it ends: a missing COM1 would send
  // the service to the host's own serial port.
  TempDir machineDir;
  ChildProcess machine(TAZO_MACHINE_PROGRAM,
                       {"--start", machineDir.path(), "--commands", "SENDFILE,CHDIR,DIR",
                        "--script", dir.File("check.txt")},
                       dir.File("machine.out"), dir.File("machine.err"));
  ASSERT_TRUE(machine.started());
  char line[256] = {};
  ASSERT_TRUE(WaitUntil(
      [&] { return readlink(machineDir.File("COM1").c_str(), line, sizeof line - 1) > 0; }));
  ASSERT_EQ(symlink(line, dir.File("COM1").c_str()), 0);
  Service service(dir);
  ASSERT_TRUE(service.process().started());

  ASSERT_TRUE(WaitUntil(
      [&] { return Contains(ReadFileText(dir.File("machine.out")), "\"not-changed\""); }, 90000))
      << ReadFileText(dir.File("machine.out")) << service.process().Output();
  ASSERT_TRUE(service.Says("request \"CHDIR /nonexistent\""));
  uint64_t took = 0;
  EXPECT_EQ(service.Terminate(&took), 0);
  EXPECT_LT(took, 2000u);
  machine.Signal(SIGTERM);
  machine.WaitForExit(10000);
  EXPECT_FALSE(Contains(ReadFileText(dir.File("machine.out")), "FAILED"))
      << ReadFileText(dir.File("machine.out"));

  const std::string out = service.process().Output();
  const std::string sub = dir.path() + "/sub";
  EXPECT_TRUE(
      Contains(out, "tazo-service: listening in " + dir.path() + " on COM1, reply delay 0 s\n"))
      << out;
  EXPECT_TRUE(Contains(out, "  request \"DIR\": listing of " + dir.path() + ", ")) << out;
  EXPECT_TRUE(
      Contains(out, "  request \"CHDIR sub\": directory changed to " + sub + " (chgdir1.tmp, "))
      << out;
  EXPECT_TRUE(Contains(out, "  request \"SENDFILE part.nc\": file part.nc, 13 bytes\n")) << out;
  EXPECT_TRUE(
      Contains(out, "  request \"SENDFILE missing.nc\": file not sent (sendfile1.tmp, 24 bytes)\n"))
      << out;
  EXPECT_TRUE(
      Contains(out, "  request \"CHDIR /nonexistent\": directory not changed, still " + sub))
      << out;
  // The log repeats the listen session's lines in every block; the output says each once.
  const std::string log = ReadFileText(dir.File("log.txt"));
  EXPECT_GE(Count(log, ") invalid file\r\n"), 2u) << log;
  EXPECT_EQ(Count(out, ") invalid file\n"), 1u) << out;
  EXPECT_EQ(Count(out, ") directory not changed\n"), 1u) << out;
  EXPECT_EQ(Count(out, "\r"), 0u);
  EXPECT_TRUE(Contains(out, "tazo-service: SIGTERM, ended\n")) << out;
  EXPECT_TRUE(service.process().Errors().empty()) << service.process().Errors();
  EXPECT_FALSE(AnyTemporaryFile(dir.path()));
}

// A signal while a reply counts down, and while a long listing is on the line: the reply goes no
// further, its temporary file goes, the settings are saved, and the status is 0 within 2 s.
TEST(ServiceTest, SigtermDuringACountdownOrAReplyEndsItAsAConfirmedClose) {
  TempDir dir;
  PtyPair pty;
  pty.LinkAs(dir.path(), "COM1");
  ASSERT_EQ(mkdir(dir.File("many").c_str(), 0755), 0);
  // A listing far larger than what the pty holds while nobody reads it ("." and ".." are listed
  // too).
  for (int i = 0; i < 3000; ++i) {
    char name[96];
    std::snprintf(name, sizeof name, "many/program-with-a-long-name-to-fill-the-line-%04d.nc", i);
    dir.Write(name, "M30\r\n");
  }
  for (const uint8_t delay : {5, 0}) {
    SCOPED_TRACE(delay == 5 ? "during a countdown" : "during a reply");
    WriteSettings(dir, 1, delay, dir.File("many"));
    const std::vector<uint8_t> settings = dir.Read("tazo.ini");
    Service service(dir);
    ASSERT_TRUE(WaitUntil([&] { return PortOpen(pty); }));
    pty.Write(Command("DIR"));
    ASSERT_TRUE(service.Says("request \"DIR\": listing of " + dir.File("many") + ", 3002 entries"))
        << service.process().Output() << service.process().Errors();
    ASSERT_TRUE(dir.Exists("dispdir1.tmp"));
    if (delay == 0) {
      ASSERT_FALSE(pty.ReadAvailable(1, 10000).empty());
    } else {
      EXPECT_TRUE(pty.ReadAvailable(1, 0).empty());
    }
    // Saved again at the close.
    ASSERT_EQ(unlink(dir.File("tazo.ini").c_str()), 0);
    uint64_t took = 0;
    EXPECT_EQ(service.Terminate(&took), 0) << service.process().Errors();
    EXPECT_LT(took, 2000u);
    EXPECT_FALSE(dir.Exists("dispdir1.tmp"));
    EXPECT_EQ(dir.Read("tazo.ini"), settings);
    EXPECT_FALSE(PortOpen(pty));
    EXPECT_TRUE(Contains(service.process().Output(), "tazo-service: SIGTERM, ended\n"));
    // Whatever was on its way is gone with the port; a countdown sent nothing.
    const std::vector<uint8_t> rest = pty.ReadAvailable(1u << 20, 200);
    if (delay != 0) {
      EXPECT_TRUE(rest.empty());
    }
  }
}

// A second service in a folder where one runs, and bad command lines: one line on standard error
// and status 2, the first service untouched. Polish output is UTF-8 (spelt here in bytes: the
// test's literals are Windows-1250). Its port is COM12, whose name fills the stored field.
TEST(ServiceTest, ASecondServiceInTheSameFolderAndBadArgumentsEndWithStatus2) {
  TempDir dir;
  PtyPair pty;
  pty.LinkAs(dir.path(), "COM12");
  WriteSettings(dir, 0, 0, dir.path(), "COM12");
  Service first(dir, "first");
  ASSERT_TRUE(first.Says("tazo-service: nas\xc5\x82uch w " + dir.path() + " na COM12, "));
  ASSERT_TRUE(WaitUntil([&] { return PortOpen(pty); }));
  const std::vector<uint8_t> settings = dir.Read("tazo.ini");

  const std::vector<std::vector<std::string>> refused = {
      {dir.path()}, {}, {dir.path(), dir.path()}, {"--bogus"}, {dir.File("missing")}};
  for (size_t i = 0; i < refused.size(); ++i) {
    Service other(dir, refused[i], "other" + std::to_string(i));
    EXPECT_EQ(other.process().WaitForExit(10000), 2) << i;
    const std::string errors = other.process().Errors();
    EXPECT_EQ(Count(errors, "\n"), 1u) << errors;
    EXPECT_EQ(errors.rfind("tazo-service: ", 0), 0u) << errors;
    EXPECT_TRUE(other.process().Output().empty());
  }
  Service help(dir, {"--help"}, "help");
  EXPECT_EQ(help.process().WaitForExit(10000), 0);
  EXPECT_TRUE(Contains(help.process().Output(), "usage: tazo-service START_DIRECTORY"));
  Service version(dir, {"--version"}, "version");
  EXPECT_EQ(version.process().WaitForExit(10000), 0);
  EXPECT_TRUE(Contains(version.process().Output(), "tazo-service "));

  // The first still listens and answers, its settings as they were.
  EXPECT_TRUE(first.process().Running());
  EXPECT_EQ(dir.Read("tazo.ini"), settings);
  pty.Write(Command("CHDIR /nonexistent"));
  EXPECT_TRUE(
      first.Says("\xc5\xbc\xc4\x85"
                 "danie \"CHDIR /nonexistent\": katalog nie zmieniony, nadal "));
  // A hang-up ends it as SIGTERM does.
  uint64_t took = 0;
  EXPECT_EQ(first.Terminate(&took, SIGHUP), 0);
  EXPECT_LT(took, 2000u);
  EXPECT_TRUE(Contains(first.process().Output(), "tazo-service: SIGHUP, zako"));
}
