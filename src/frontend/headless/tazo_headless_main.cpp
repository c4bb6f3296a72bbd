// The program with the headless front end, driven by a script of user actions.

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "core/code_page.h"
#include "core/lifecycle.h"
#include "frontend/headless/headless_app.h"
#include "frontend/headless/headless_driver.h"

namespace {

int Usage() {
  std::cerr << "usage: tazo-headless [--utf8] START_DIRECTORY [SCRIPT]\n"
               "Starts the program in START_DIRECTORY and carries out SCRIPT (standard input\n"
               "when missing or \"-\"), one user action per line.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  DriverOptions options;
  std::string startDirectory;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
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
    status = RunHeadlessScript(program, script, std::cout, options);
    if (program.WindowOpen()) std::cout << "end of script: the window is closed without asking\n";
  }
  std::cout.flush();
  return status;
}
