// The program with the headless front end, driven by a script of user actions.

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "core/code_page.h"
#include "core/lifecycle.h"
#include "frontend/headless/headless_app.h"
#include "frontend/headless/headless_driver.h"
#include "platform/posix/termination_signals.h"
#include "tazo_version.h"

namespace {

int Usage() {
  std::cerr << "usage: tazo-headless [--utf8] START_DIRECTORY [SCRIPT]\n"
               "       tazo-headless --version\n"
               "Starts the program in START_DIRECTORY and carries out SCRIPT (standard input\n"
               "when missing or \"-\"), one user action per line.\n";
  return 2;
}

// SIGTERM, SIGINT and SIGHUP end the program as a confirmed close does, wherever the script is:
// the window closed without the question, the engines given their time, and the process ended
// with the status a shell gives a program that a signal ended.
class CloseOnSignal {
 public:
  explicit CloseOnSignal(HeadlessApp& program) : program_(program) {
    signalFd_ = platform::WatchTerminationSignals();
    wakeFd_ = eventfd(0, EFD_CLOEXEC);
    if (signalFd_ >= 0 && wakeFd_ >= 0) watcher_ = std::thread([this] { Watch(); });
  }
  ~CloseOnSignal() {
    if (watcher_.joinable()) {
      const uint64_t one = 1;
      // An eventfd write fails only at its counter's limit, when the watcher is awake anyway.
      if (write(wakeFd_, &one, sizeof one) < 0) {
      }
      watcher_.join();
    }
    if (wakeFd_ >= 0) close(wakeFd_);
    platform::StopWatchingTerminationSignals();
  }
  CloseOnSignal(const CloseOnSignal&) = delete;
  CloseOnSignal& operator=(const CloseOnSignal&) = delete;

 private:
  void Watch() {
    pollfd wait[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (poll(wait, 2, -1) < 0 && errno == EINTR) {
    }
    if ((wait[0].revents & POLLIN) == 0) return;
    const int number = platform::TakeTerminationSignal();
    program_.Destroy();
    HeadlessApp::WaitForEngines(std::chrono::seconds(5));
    std::cout << "signal " << number << ": the window is closed without asking" << std::endl;
    // The script may be waiting for a line that never comes: the process ends here.
    std::_Exit(128 + number);
  }

  HeadlessApp& program_;
  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::thread watcher_;
};

}  // namespace

int main(int argc, char** argv) {
  DriverOptions options;
  std::string startDirectory;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << "tazo-headless " TAZO_VERSION "\n";
      return 0;
    }
    if (std::strcmp(argv[i], "--utf8") == 0) {
      options.utf8 = true;
    } else if (startDirectory.empty()) {
      startDirectory = argv[i];
    } else if (scriptPath.empty()) {
      scriptPath = argv[i];
    } else {
      return Usage();
    }
  }
  if (startDirectory.empty()) return Usage();

  std::ifstream scriptFile;
  if (!scriptPath.empty() && scriptPath != "-") {
    // Only a regular file: a directory would run nothing and pass, a FIFO would wait for ever.
    struct stat info {};
    if (stat(scriptPath.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
      std::cerr << "tazo-headless: the script " << scriptPath << " is not a regular file\n";
      return 2;
    }
    scriptFile.open(scriptPath);
    if (!scriptFile) {
      std::cerr << "tazo-headless: cannot read the script " << scriptPath << "\n";
      return 2;
    }
  }
  std::istream& script = scriptFile.is_open() ? static_cast<std::istream&>(scriptFile) : std::cin;

  int status;
  {
    HeadlessApp program;
    std::string error;
    if (!program.Start(startDirectory, &error)) {
      const StartUpOutcome outcome = program.startOutcome();
      if (outcome.refusal != StartRefusal::kNone) {
        // The reason in the stored language, the folder as the command line gave it.
        char reason[kRefusalTextWidth];
        FormatStartRefusal(outcome, reason, sizeof reason);
        error = (options.utf8 ? Cp1250ToUtf8(reason) : std::string(reason)) + ": " + startDirectory;
      }
      std::cerr << "tazo-headless: " << error << "\n";
      return 2;
    }
    CloseOnSignal closeOnSignal(program);
    status = RunHeadlessScript(program, script, std::cout, options);
    if (program.WindowOpen()) std::cout << "end of script: the window is closed without asking\n";
  }
  std::cout.flush();
  return status;
}
