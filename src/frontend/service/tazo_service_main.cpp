// tazo-service: the listen service without a window, one per machine, for systemd or a terminal.

#include <poll.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "core/code_page.h"
#include "core/local_text.h"
#include "frontend/service/service_app.h"
#include "frontend/service/service_journal.h"
#include "platform/posix/termination_signals.h"
#include "tazo_version.h"

namespace {

constexpr char kVersion[] = "tazo-service " TAZO_VERSION;

void PrintHelp() {
  std::cout << "usage: tazo-service START_DIRECTORY\n"
               "Listens for one machine: loads tazo.ini from START_DIRECTORY (its COMn link names\n"
               "the port), switches listen mode on and answers the machine's requests until\n"
               "SIGTERM, SIGINT or SIGHUP, which end it as a confirmed close does (status 0).\n"
               "Each log block and each answered request is written to standard output, one\n"
               "line each, in the stored language. Status 2: bad arguments, a folder that cannot\n"
               "be used, or another program already running in it.\n"
               "  --help     this text\n"
               "  --version  the version\n";
}

int BadArguments(const std::string& problem) {
  std::cerr << "tazo-service: " << problem << " (tazo-service --help explains)\n";
  return 2;
}

const char* SignalName(int number) {
  switch (number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
  }
  return "signal";
}

}  // namespace

int main(int argc, char** argv) {
  std::string startDirectory;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help") {
      PrintHelp();
      return 0;
    }
    if (argument == "--version") {
      std::cout << kVersion << "\n";
      return 0;
    }
    if (argument.size() > 1 && argument[0] == '-')
      return BadArguments("unknown option " + argument);
    if (!startDirectory.empty()) return BadArguments("one start directory only");
    startDirectory = argument;
  }
  if (startDirectory.empty()) return BadArguments("no start directory given");

  // The signals that end the service are taken from the start, so that none ends it where it
  // stands; a journal that went away must not end it either.
  const int signalFd = platform::WatchTerminationSignals();
  if (signalFd < 0) {
    std::cerr << "tazo-service: cannot watch for signals: " << std::strerror(errno) << "\n";
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);

  ServiceApp service;
  std::string error;
  if (!service.Start(startDirectory, &error)) {
    // The reason in the stored language, the folder as the command line gave it.
    std::cerr << "tazo-service: " << Cp1250ToUtf8(error) << ": " << startDirectory << "\n";
    return 2;
  }
  int number = 0;
  while (number == 0) {
    pollfd wait{signalFd, POLLIN, 0};
    if (poll(&wait, 1, -1) < 0 && errno != EINTR) break;
    number = platform::TakeTerminationSignal();
  }
  const bool ended = service.Stop(std::chrono::milliseconds(1500));
  service_journal::WriteLines(std::string("tazo-service: ") + SignalName(number) +
                              LocalText(", zakończono\n", ", ended\n"));
  platform::StopWatchingTerminationSignals();
  return ended ? 0 : 1;
}
