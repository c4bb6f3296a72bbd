// A demonstration: the program with the headless front end on one end of a pseudo-terminal pair,
// a small peer playing the machine tool on the other. It sends a file, receives it back, verifies
// it, and answers one listing request, printing what crossed the line.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "frontend/headless/headless_app.h"
#include "frontend/headless/headless_driver.h"
#include "frontend/headless/headless_messages.h"
#include "platform/system.h"
#include "ui/control_ids.h"

namespace {

constexpr int kDeadlineMs = 30000;

// Printable text as it is, every other byte as <hex>.
std::string Readable(const std::string& bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      shown += hex;
      if (c == '\n') shown += "\n      ";
    }
  }
  return shown;
}

struct Demo {
  int master = -1;
  std::string dir;
  HeadlessApp program;
  int failures = 0;

  void Check(bool condition, const std::string& what) {
    std::cout << (condition ? "  ok:     " : "  FAILED: ") << what << "\n";
    if (!condition) ++failures;
  }

  void PeerWrite(const std::string& bytes) {
    std::cout << "  peer -> program: " << Readable(bytes) << "\n";
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        break;
      } else {
        pollfd ready{master, POLLOUT, 0};
        poll(&ready, 1, 100);
      }
    }
  }

  // What the program sends, up to and with the end-of-file byte 3.
  std::string PeerReadUntilEnd() {
    std::string got;
    const uint64_t deadline = platform::MonotonicMilliseconds() + kDeadlineMs;
    while (platform::MonotonicMilliseconds() < deadline && (got.empty() || got.back() != 3)) {
      pollfd ready{master, POLLIN, 0};
      if (poll(&ready, 1, 200) <= 0) continue;
      char buffer[4096];
      ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<size_t>(n));
    }
    std::cout << "  program -> peer: " << Readable(got) << "\n";
    return got;
  }

  bool WaitFor(const std::function<bool()>& condition) {
    return program.surface().WaitUntil(condition, std::chrono::milliseconds(kDeadlineMs));
  }

  bool Idle() { return app.transferRunning.load() == 0 && platform::RunningDetachedThreads() == 0; }
  bool Busy() { return app.transferRunning.load() == 1 && app.portHandle.IsOpen(); }

  void ShowErrorsBox() {
    std::cout << "  errors box: " << Readable(program.surface().GetText(ErrorsBox)) << "\n";
  }

  void Press(int control) {
    std::string error;
    if (!program.Press(control, &error)) Check(false, "press: " + error);
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace

int main() {
  int master = -1;
  int device = -1;
  char deviceName[256];
  if (openpty(&master, &device, deviceName, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  termios raw{};
  tcgetattr(master, &raw);
  cfmakeraw(&raw);
  tcsetattr(master, TCSANOW, &raw);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  char dirTemplate[] = "/tmp/tazo-demo-XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dir = dirTemplate;
  if (symlink(deviceName, (dir + "/COM1").c_str()) != 0) {
    std::perror("symlink");
    return 1;
  }
  PortSettings settings = MachineLineSettings("9600", dir);
  settings.replyDelay = 2;
  WriteSettingsFile(dir + "/tazo.ini", settings);
  const std::string program = "%\r\nO0001 (DEMO)\r\nG21 G90\r\nG00 X10. Y20.\r\nM30\r\n%\r\n";
  std::ofstream(dir + "/part.nc", std::ios::binary) << program;

  std::cout << "start directory " << dir << ", port COM1 -> " << deviceName << "\n";
  int failures = 0;
  {
    Demo demo;
    demo.master = master;
    demo.dir = dir;
    std::string error;
    if (!demo.program.Start(dir, &error)) {
      std::cerr << "tazo-demo: " << error << "\n";
      return 2;
    }

    std::cout << "\n(a) the program sends part.nc\n";
    QueueFileDialogPath(dir + "/part.nc");
    demo.Press(SendFileButton);
    demo.Press(StartStopButton);
    std::string received = demo.PeerReadUntilEnd();
    demo.Check(received == program + "\x03", "the peer received the file and the byte 3");
    demo.WaitFor([&] { return demo.Idle(); });
    demo.ShowErrorsBox();

    std::cout << "\n(b) the peer sends it back into back.nc\n";
    QueueFileDialogPath(dir + "/back.nc");
    demo.Press(ReceiveFileButton);
    demo.Press(StartStopButton);
    demo.WaitFor([&] { return demo.Busy(); });
    demo.PeerWrite(program + "\x03");
    demo.WaitFor([&] { return demo.Idle(); });
    demo.Check(ReadFile(dir + "/back.nc") == program, "back.nc holds the file");
    demo.ShowErrorsBox();

    std::cout << "\n(c) verification of part.nc: the peer sends it again\n";
    QueueFileDialogPath(dir + "/part.nc");
    demo.Press(SendFileButton);
    demo.Press(VerifyButton);
    demo.WaitFor([&] { return demo.Busy(); });
    demo.PeerWrite(program + "\x03");
    demo.WaitFor([&] { return demo.Idle() && app.verifyOn.load() == 0; });
    demo.Check(
        demo.program.surface().GetText(ErrorsBox).find("files are similar") != std::string::npos,
        "the comparison found the files similar");
    demo.ShowErrorsBox();

    std::cout << "\n(d) listen mode: the peer asks for the directory listing\n";
    demo.Press(ListenButton);
    demo.WaitFor([&] { return demo.Busy(); });
    demo.PeerWrite("%MPF999\r\nDIR\r\n\x03");
    demo.WaitFor([&] { return demo.program.surface().ReplyTimerRunning(); });
    std::cout << "  countdown in DelayField...\n";
    std::string listing = demo.PeerReadUntilEnd();
    demo.Check(listing.rfind("%MPF998\r\n", 0) == 0 &&
                   listing.find("part.nc [size: " + std::to_string(program.size()) + "]") !=
                       std::string::npos,
               "the listing names part.nc with its size");
    demo.WaitFor([&] { return demo.Busy(); });
    demo.ShowErrorsBox();
    demo.Press(ListenButton);
    demo.WaitFor([&] { return demo.Idle(); });

    std::cout << "\nlog.txt:\n" << Readable(ReadFile(dir + "/log.txt")) << "\n";
    failures = demo.failures;
    QueueMessageAnswer(MessageAnswer::kYes);
    demo.program.Close();
  }
  close(device);
  close(master);
  std::string removeCommand = "rm -rf '" + dir + "'";
  if (std::system(removeCommand.c_str()) != 0) std::cerr << "could not remove " << dir << "\n";
  std::cout << (failures == 0 ? "\nall went as expected\n" : "\nSOMETHING WENT WRONG\n");
  return failures == 0 ? 0 : 1;
}
