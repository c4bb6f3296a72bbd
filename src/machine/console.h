#pragma once

#include <string>

#include "machine/machine.h"
#include "machine/replies.h"

// The machine's command language, the same from its terminal and from a script: one action a
// line.
namespace machine {

struct ConsoleOptions {
  bool script = false;        // a send waits until it is done; a failed line ends the script
  int64_t timeoutMs = 30000;  // how long expectations and sends wait for the program
  std::string settingsPath;   // the program's settings file, for the command names
  bool namesGiven = false;    // the names below were given and are not read from it
  CommandNames names;
};

class Console {
 public:
  Console(Machine& machine, const ConsoleOptions& options) : machine_(machine), options_(options) {}

  enum class Outcome { kDone, kFailed, kQuit };
  // Carries out one line; a failure is reported in `error`.
  Outcome Carry(const std::string& line, std::string* error);

 private:
  bool Send(const std::string& label, const std::string& bytes, bool block, std::string* error);
  bool Ask(const std::string& kind, const std::string& argument, std::string* error);
  bool Expect(const std::string& rest, std::string* error);
  bool TakeArrival(const char* what, Arrival* arrival, std::string* error);
  bool FindBytes(const std::string& name, std::string* bytes, std::string* error);

  Machine& machine_;
  ConsoleOptions options_;
};

// `tazo-machine --help` and the console's `help`.
std::string UsageText();
std::string CommandsText();
// The help of one command, empty when there is none of that name.
std::string CommandHelp(const std::string& command);

}  // namespace machine
