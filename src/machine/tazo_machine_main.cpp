// tazo-machine: a machine tool's controller at the other end of the program's serial line.

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "machine/console.h"
#include "machine/disk_file.h"
#include "machine/line.h"
#include "machine/machine.h"
#include "tazo_version.h"

namespace {

using machine::Console;
using machine::Machine;
using machine::ReadRegularFile;

int BadUsage(const std::string& problem) {
  std::cerr << "tazo-machine: " << problem << " (tazo-machine --help explains the options)\n";
  return 2;
}

bool IsPortName(const std::string& name) {
  return name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '9';
}

// Every regular file of `directory` into the memory, under its own name; every other entry is
// named with the reason it was skipped. Hidden entries are left alone without a word.
bool LoadMemory(const std::string& directory, Machine& machine, std::string* error) {
  DIR* listing = opendir(directory.c_str());
  if (!listing) {
    *error = std::strerror(errno);
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string bytes;
    std::string reason;
    if (ReadRegularFile(directory + "/" + name, &bytes, &reason)) {
      machine.memory()[name] = bytes;
    } else {
      machine.Say("memory: skipped " + name + ": " + reason);
    }
  }
  return true;
}

// The whole script: a regular file, or standard input for "-", up to the load limit.
bool ReadScript(const std::string& path, std::string* text, std::string* error) {
  if (path != "-") return ReadRegularFile(path, text, error);
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      *error = std::strerror(errno);
      return false;
    }
    if (count == 0) return true;
    if (text->size() + static_cast<size_t>(count) > machine::kLoadLimitBytes) {
      *error = "longer than " + machine::LoadLimitText();
      return false;
    }
    text->append(buffer, static_cast<size_t>(count));
  }
}

// Splits what arrives on standard input into lines without blocking the line's service.
struct ConsoleInput {
  std::string pending;
  bool ended = false;

  bool TakeLine(std::string* line) {
    const size_t end = pending.find('\n');
    if (end == std::string::npos) {
      if (!ended || pending.empty()) return false;
      *line = pending;
      pending.clear();
      return true;
    }
    *line = pending.substr(0, end);
    pending.erase(0, end + 1);
    return true;
  }

  void Read() {
    char buffer[1024];
    const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
    if (count > 0) {
      pending.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
      ended = true;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string startDirectory = ".";
  std::string portName = "COM1";
  std::string devicePath;
  std::string memoryDirectory;
  std::string scriptPath;
  machine::DeviceSettings device;
  machine::ConsoleOptions options;
  int endWith = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::cout << machine::UsageText();
      return 0;
    }
    if (option == "--version") {
      std::cout << "tazo-machine " TAZO_VERSION "\n";
      return 0;
    }
    if (i + 1 >= argc) return BadUsage("unknown option " + option + " or its value missing");
    const std::string value = argv[++i];
    if (option == "--start") {
      startDirectory = value;
    } else if (option == "--port") {
      if (!IsPortName(value)) return BadUsage("the port is named COM1 to COM9");
      portName = value;
    } else if (option == "--device") {
      devicePath = value;
    } else if (option == "--baud") {
      device.baud = std::atoi(value.c_str());
      if (device.baud <= 0) return BadUsage("--baud takes a rate such as 9600");
    } else if (option == "--frame") {
      if (!machine::ParseFrame(value, &device)) return BadUsage("a frame reads like 8N1");
    } else if (option == "--flow") {
      if (value != "none" && value != "rtscts" && value != "xonxoff") {
        return BadUsage("the flow control is none, rtscts or xonxoff");
      }
      device.flow = value;
    } else if (option == "--memory") {
      memoryDirectory = value;
    } else if (option == "--commands") {
      const size_t first = value.find(',');
      const size_t second = first == std::string::npos ? first : value.find(',', first + 1);
      if (second == std::string::npos) return BadUsage("--commands SENDFILE,CHDIR,DIR");
      options.names.sendFile = value.substr(0, first);
      options.names.changeDirectory = value.substr(first + 1, second - first - 1);
      options.names.sendDirectory = value.substr(second + 1);
      options.namesGiven = true;
    } else if (option == "--script") {
      scriptPath = value;
    } else if (option == "--timeout") {
      options.timeoutMs = std::atol(value.c_str());
      if (options.timeoutMs <= 0) return BadUsage("--timeout takes milliseconds");
    } else if (option == "--end-with") {
      endWith = std::atoi(value.c_str());
    } else {
      return BadUsage("unknown option " + option);
    }
  }
  options.script = !scriptPath.empty();
  options.settingsPath = startDirectory + "/tazo.ini";

  // Read whole first: a line still to come must not hold up the line's service. A file is read
  // before anything is opened; standard input once the link is there, as a feeding pipe expects.
  std::string error;
  std::string scriptText;
  if (options.script && scriptPath != "-" && !ReadScript(scriptPath, &scriptText, &error)) {
    return BadUsage("cannot read the script " + scriptPath + ": " + error);
  }
  if (!machine::InstallSignalHandlers()) return BadUsage("cannot set up signal handling");

  machine::Line line;
  const bool opened = devicePath.empty()
                          ? line.OpenPseudoTerminal(startDirectory + "/" + portName, &error)
                          : line.OpenDevice(devicePath, device, &error);
  if (!opened) {
    std::cerr << "tazo-machine: " << error << "\n";
    return 2;
  }
  const std::string label = devicePath.empty() ? portName : devicePath;
  Machine machine(line, std::cout, label);
  machine.EndWithProcess(endWith);
  if (!memoryDirectory.empty() && !LoadMemory(memoryDirectory, machine, &error)) {
    std::cerr << "tazo-machine: cannot read the directory " << memoryDirectory << ": " << error
              << "\n";
    return 2;
  }
  if (devicePath.empty()) {
    machine.Say("machine on " + line.devicePath() + ", linked as " + startDirectory + "/" +
                portName);
  } else {
    machine.Say("machine on " + devicePath + " at " + std::to_string(device.baud) + " baud, " +
                std::to_string(device.dataBits) + device.parity + std::to_string(device.stopBits) +
                ", flow " + device.flow);
  }
  Console console(machine, options);

  if (options.script) {
    if (scriptPath == "-" && !ReadScript(scriptPath, &scriptText, &error)) {
      machine.Say("cannot read the script from standard input: " + error);
      return 2;
    }
    std::istringstream script(scriptText);
    std::vector<std::string> lines;
    for (std::string text; std::getline(script, text);) lines.push_back(text);
    for (size_t number = 1; number <= lines.size(); ++number) {
      error.clear();
      const Console::Outcome outcome = console.Carry(lines[number - 1], &error);
      if (machine.Ended()) return 1;
      if (outcome == Console::Outcome::kQuit) break;
      if (outcome == Console::Outcome::kFailed) {
        machine.Say("FAILED line " + std::to_string(number) + ": " + error);
        return 1;
      }
    }
    machine.Say("script done: every line held");
    return 0;
  }

  if (isatty(STDIN_FILENO)) {
    machine.Say("type help for the commands, quit to end");
    machine.SetPrompt("machine> ");
    machine.ShowPrompt();
  }
  ConsoleInput input;
  for (;;) {
    std::string text;
    while (input.TakeLine(&text)) {
      machine.PromptAnswered();
      error.clear();
      const Console::Outcome outcome = console.Carry(text, &error);
      if (outcome == Console::Outcome::kQuit) return 0;
      if (outcome == Console::Outcome::kFailed) machine.Say("FAILED: " + error);
      machine.ShowPrompt();
    }
    if (input.ended) return 0;
    if (machine.Run(nullptr, -1, true) == Machine::Wake::kQuit) return 0;
    input.Read();
  }
}
