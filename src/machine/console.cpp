#include "machine/console.h"

#include <sstream>

#include "machine/disk_file.h"
#include "machine/machine_text.h"

namespace machine {
namespace {

struct CommandDoc {
  const char* name;
  const char* usage;
  std::string text;
};

const CommandDoc kCommands[] = {
    {"send", "send NAME",
     "sends a file of the memory (or, when the memory has no such name, a file of the disk) as\n"
     "the program expects one: its bytes, a pause of 1000 ms, the byte 3. Waits for the program\n"
     "to open the line first (on a pseudo-terminal the machine sees that)."},
    {"send-text", "send-text TEXT",
     "sends TEXT the same way, e.g. send-text %\\r\\nO0001\\r\\nM30\\r\\n%\\r\\n"},
    {"ask", "ask file NAME | ask cd DIRECTORY | ask dir [DIRECTORY]",
     "asks as a machine in listen mode does: a command file \"%MPF999\", CR LF, the program's\n"
     "command name for sending a file, changing directory or listing a directory (read from\n"
     "its tazo.ini, or given with --commands), the argument, CR LF and the byte 3, all in one\n"
     "block. The reply is printed when it comes; a requested file is kept in fetched/."},
    {"ask-raw", "ask-raw TEXT",
     "sends TEXT in one block as it stands, e.g. a command file the program should refuse"},
    {"ls", "ls", "lists the memory: the machine's own files, received/, fetched/, replies/"},
    {"show", "show NAME", "prints a file of the memory in full"},
    {"put", "put NAME TEXT", "stores TEXT in the memory under NAME"},
    {"load", "load PATH [NAME]",
     "reads a regular file of the disk, at most " + LoadLimitText() +
         ", into the memory (under its own name)"},
    {"save", "save NAME PATH", "writes a file of the memory to the disk"},
    {"rm", "rm NAME", "deletes a file of the memory"},
    {"status", "status", "who holds the line, what is queued, half received or awaited"},
    {"cancel", "cancel", "drops the sends that wait for the program"},
    {"timeout", "timeout MS",
     "how long expectations and sends wait from now on (start: --timeout)"},
    {"wait", "wait MS", "waits, serving the line meanwhile"},
    {"wait-open", "wait-open",
     "waits until the program holds the line open (pseudo-terminal only)"},
    {"expect",
     "expect file [TEXT|@NAME] | expect reply KIND | expect entry NAME [dir|SIZE]\n"
     "       expect contains TEXT | expect nothing MS",
     "checks what arrived. `file` and `reply` take the oldest arrival not taken yet, waiting\n"
     "for one: a file the program sent (equal to TEXT or to the file NAME when given), or a\n"
     "reply of KIND: listing, changed, not-changed, not-sent, file (the requested file itself).\n"
     "`entry` looks in the last listing, `contains` in the last arrival; `nothing` fails when\n"
     "anything arrives within MS. A failed expectation ends a script with status 1."},
    {"help", "help [COMMAND]", "lists the commands, or explains one"},
    {"quit", "quit", "ends the machine (its COMn link goes with it); end of input does the same"},
};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The first word and the rest, trimmed.
std::string Split(const std::string& text, std::string* rest) {
  const std::string trimmed = Trim(text);
  const size_t space = trimmed.find_first_of(" \t");
  *rest = space == std::string::npos ? "" : Trim(trimmed.substr(space));
  return trimmed.substr(0, space);
}

bool ParseNumber(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 15) return false;
  int64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  *value = number;
  return true;
}

}  // namespace

std::string UsageText() {
  return "usage: tazo-machine [OPTIONS]\n"
         "Plays a machine tool's controller at the other end of the program's serial line.\n"
         "\n"
         "Options:\n"
         "  --start DIR        the program's start directory (default: the current one): a\n"
         "                     pseudo-terminal is linked there as COM1, and the command names\n"
         "                     are read from its tazo.ini\n"
         "  --port COMn        the name of that link (default COM1)\n"
         "  --device PATH      a real serial port instead, e.g. /dev/ttyUSB1, for a loopback\n"
         "                     check of a cable and the PC's settings\n"
         "  --baud N           its rate (default 9600)\n"
         "  --frame DPS        data bits 5-8, parity N E O M S, stop bits 1 or 2 (default 8N1)\n"
         "  --flow MODE        none, rtscts or xonxoff (default none)\n"
         "  --memory DIR       loads every regular file of DIR into the machine's memory at\n"
         "                     start and names each entry it skips\n"
         "  --commands F,C,D   the command names for send-a-file, change-directory and\n"
         "                     list-directory, instead of those of tazo.ini\n"
         "  --script FILE      carries out FILE (- for standard input) and exits: status 0 when\n"
         "                     every line held, 1 at the first that did not, 2 for bad options\n"
         "                     or a script that cannot be read\n"
         "  --timeout MS       how long expectations and sends wait (default 30000)\n"
         "  --end-with PID     ends when that process ends\n"
         "  --help             this text\n"
         "  --version          the version\n"
         "\n"
         "Without --script the commands are read from the terminal.\n\n" +
         CommandsText();
}

std::string CommandsText() {
  std::string text =
      "Commands (one a line; # starts a comment; in texts \\r \\n \\t \\\\ \\xHH\n"
      "stand for their bytes, the rest is UTF-8 sent as Windows-1250). Files of the disk\n"
      "(load, send, show, expect file @NAME, --memory, --script) are read only when they are\n"
      "regular files of at most " +
      LoadLimitText() + "; save writes only to a regular file or a new one.\n";
  for (const CommandDoc& doc : kCommands) {
    text += "  " + std::string(doc.usage) + "\n";
    std::istringstream lines(doc.text);
    for (std::string line; std::getline(lines, line);) text += "      " + line + "\n";
  }
  return text;
}

std::string CommandHelp(const std::string& command) {
  for (const CommandDoc& doc : kCommands) {
    if (command == doc.name) return doc.usage + ("\n" + doc.text);
  }
  return "";
}

Console::Outcome Console::Carry(const std::string& line, std::string* error) {
  std::string rest;
  const std::string command = Split(line, &rest);
  if (command.empty() || command[0] == '#') return Outcome::kDone;
  auto done = [](bool ok) { return ok ? Outcome::kDone : Outcome::kFailed; };
  std::string bytes;

  if (command == "quit" || command == "exit") return Outcome::kQuit;
  if (command == "help") {
    const std::string help = rest.empty() ? CommandsText() : CommandHelp(rest);
    if (help.empty()) {
      *error = "no command " + rest + " (help lists them)";
      return Outcome::kFailed;
    }
    machine_.Say(help);
    return Outcome::kDone;
  }
  if (command == "send") {
    if (rest.empty()) {
      *error = "send what? (send NAME)";
      return Outcome::kFailed;
    }
    return done(FindBytes(rest, &bytes, error) && Send(rest, bytes, false, error));
  }
  if (command == "send-text" || command == "ask-raw") {
    if (!DecodeText(rest, &bytes, error)) return Outcome::kFailed;
    return done(Send(command == "ask-raw" ? "block" : "text", bytes, command == "ask-raw", error));
  }
  if (command == "ask") {
    std::string argument;
    const std::string kind = Split(rest, &argument);
    return done(Ask(kind, argument, error));
  }
  if (command == "ls") {
    std::string text = machine_.memory().empty() ? "the memory is empty" : "memory:";
    for (const auto& file : machine_.memory()) {
      text += "\n  " + file.first + "  " + std::to_string(file.second.size()) + " bytes";
    }
    machine_.Say(text);
    return Outcome::kDone;
  }
  if (command == "show") {
    if (!FindBytes(rest, &bytes, error)) return Outcome::kFailed;
    machine_.Say(rest + ", " + std::to_string(bytes.size()) + " bytes:\n   " +
                 Readable(bytes, "   "));
    return Outcome::kDone;
  }
  if (command == "put") {
    std::string text;
    const std::string name = Split(rest, &text);
    if (name.empty() || !DecodeText(text, &bytes, error)) {
      if (error->empty()) *error = "put NAME TEXT";
      return Outcome::kFailed;
    }
    machine_.memory()[name] = bytes;
    return Outcome::kDone;
  }
  if (command == "load") {
    std::string name;
    const std::string path = Split(rest, &name);
    if (path.empty()) {
      *error = "load PATH [NAME]";
      return Outcome::kFailed;
    }
    if (!ReadRegularFile(path, &bytes, error)) {
      *error = "cannot load " + path + ": " + *error;
      return Outcome::kFailed;
    }
    if (name.empty()) name = path.substr(path.find_last_of('/') + 1);
    machine_.memory()[name] = bytes;
    machine_.Say("loaded " + name + ", " + std::to_string(bytes.size()) + " bytes");
    return Outcome::kDone;
  }
  if (command == "save") {
    std::string path;
    const std::string name = Split(rest, &path);
    auto found = machine_.memory().find(name);
    if (found == machine_.memory().end() || path.empty()) {
      *error = found == machine_.memory().end() ? "no file " + name + " in the memory"
                                                : "save NAME PATH";
      return Outcome::kFailed;
    }
    if (!WriteRegularFile(path, found->second, error)) {
      *error = "cannot write " + path + ": " + *error;
      return Outcome::kFailed;
    }
    return Outcome::kDone;
  }
  if (command == "rm") {
    if (machine_.memory().erase(rest) == 0) {
      *error = "no file " + rest + " in the memory";
      return Outcome::kFailed;
    }
    return Outcome::kDone;
  }
  if (command == "status") {
    machine_.Say(machine_.Status());
    return Outcome::kDone;
  }
  if (command == "cancel") {
    if (!machine_.CancelQueued()) machine_.Say("nothing waits to be sent");
    return Outcome::kDone;
  }
  int64_t number = 0;
  if (command == "timeout" || command == "wait") {
    if (!ParseNumber(rest, &number)) {
      *error = command + " MS";
      return Outcome::kFailed;
    }
    if (command == "timeout") {
      options_.timeoutMs = number;
    } else if (machine_.Run(nullptr, NowMs() + number, false) == Machine::Wake::kQuit) {
      return Outcome::kQuit;
    }
    return Outcome::kDone;
  }
  if (command == "wait-open") {
    const Machine::Wake wake =
        machine_.Run([&] { return machine_.PeerHolds(); }, NowMs() + options_.timeoutMs, false);
    if (wake == Machine::Wake::kQuit) return Outcome::kQuit;
    if (wake != Machine::Wake::kDone) {
      *error =
          "the program did not open the line within " + std::to_string(options_.timeoutMs) + " ms";
      return Outcome::kFailed;
    }
    return Outcome::kDone;
  }
  if (command == "expect") return done(Expect(rest, error));
  *error = "unknown command " + command + " (help lists them)";
  return Outcome::kFailed;
}

bool Console::FindBytes(const std::string& name, std::string* bytes, std::string* error) {
  auto found = machine_.memory().find(name);
  if (found != machine_.memory().end()) {
    *bytes = found->second;
    return true;
  }
  std::string reason;
  if (ReadRegularFile(name, bytes, &reason)) return true;
  *error = "no file " + name + " in the memory, and on the disk: " + reason;
  return false;
}

bool Console::Send(const std::string& label, const std::string& bytes, bool block,
                   std::string* error) {
  const int64_t deadline = options_.script ? NowMs() + options_.timeoutMs : -1;
  const long id = machine_.Queue(label, bytes, block, deadline);
  if (!options_.script) return true;
  if (machine_.Run([&] { return machine_.Finished(id); }, -1, false) != Machine::Wake::kDone) {
    *error = "ended while sending";
    return false;
  }
  if (!machine_.Succeeded(id)) *error = label + " was not sent";
  return machine_.Succeeded(id);
}

bool Console::Ask(const std::string& kind, const std::string& argument, std::string* error) {
  CommandNames names = options_.names;
  if (!options_.namesGiven && !ReadCommandNames(options_.settingsPath, &names, error)) {
    *error += " (or give them with --commands)";
    return false;
  }
  std::string name;
  if (kind == "file") {
    name = names.sendFile;
  } else if (kind == "cd") {
    name = names.changeDirectory;
  } else if (kind == "dir") {
    name = names.sendDirectory;
  } else {
    *error = "ask file NAME | ask cd DIRECTORY | ask dir [DIRECTORY]";
    return false;
  }
  if (name.empty()) {
    *error = "the program has no command name for `ask " + kind + "` (set it in its settings)";
    return false;
  }
  if (argument.empty() && kind != "dir") {
    *error = "ask " + kind + " needs its argument";
    return false;
  }
  std::string encoded;
  if (!DecodeText(argument, &encoded, error)) return false;
  const std::string shownLine =
      "\"" + Cp1250ToUtf8(name) + (argument.empty() ? "" : " ") + argument + "\"";
  machine_.NoteRequest(shownLine, kind == "file", argument);
  return Send("command file " + shownLine, CommandFile(name, encoded), true, error);
}

bool Console::TakeArrival(const char* what, Arrival* arrival, std::string* error) {
  const Machine::Wake wake = machine_.Run([&] { return !machine_.unclaimed().empty(); },
                                          NowMs() + options_.timeoutMs, false);
  if (wake != Machine::Wake::kDone) {
    *error =
        std::string("no ") + what + " arrived within " + std::to_string(options_.timeoutMs) + " ms";
    return false;
  }
  *arrival = machine_.unclaimed().front();
  machine_.unclaimed().pop_front();
  return true;
}

bool Console::Expect(const std::string& rest, std::string* error) {
  std::string argument;
  const std::string kind = Split(rest, &argument);
  Arrival arrival;
  std::string bytes;
  auto passed = [&](const std::string& what) {
    machine_.Say("ok: " + what);
    return true;
  };
  if (kind == "file") {
    if (!TakeArrival("file", &arrival, error)) return false;
    if (arrival.kind != Arrival::kFile) {
      *error = "expected a file from the program, got " + arrival.name;
      return false;
    }
    if (!argument.empty()) {
      const bool named = argument[0] == '@';
      if (named ? !FindBytes(argument.substr(1), &bytes, error)
                : !DecodeText(argument, &bytes, error)) {
        return false;
      }
      if (arrival.bytes != bytes) {
        *error = arrival.name + " (" + std::to_string(arrival.bytes.size()) +
                 " bytes) differs from " + (named ? argument.substr(1) : "the text") + " (" +
                 std::to_string(bytes.size()) + " bytes)";
        return false;
      }
    }
    return passed(arrival.name + (argument.empty() ? " arrived" : " is as expected"));
  }
  if (kind == "reply") {
    ReplyKind wanted;
    if (!ReplyKindFromName(argument, &wanted)) {
      *error = "expect reply listing|changed|not-changed|not-sent|file";
      return false;
    }
    if (!TakeArrival("reply", &arrival, error)) return false;
    const bool asReply = arrival.kind == Arrival::kReply && arrival.reply.kind == wanted;
    const bool asFile = wanted == ReplyKind::kNoHeader && arrival.kind == Arrival::kRequested;
    if (!asReply && !asFile) {
      *error =
          "expected a reply \"" + argument + "\", got " + arrival.name + " (" +
          (arrival.kind == Arrival::kReply ? ReplyKindName(arrival.reply.kind) : "not a reply") +
          ")";
      return false;
    }
    return passed(arrival.name + " is a reply \"" + argument + "\"");
  }
  if (kind == "entry") {
    std::string detail;
    const std::string name = Split(argument, &detail);
    const Arrival* last = machine_.last();
    if (!last || last->reply.kind != ReplyKind::kListing) {
      *error = "the last arrival is no listing";
      return false;
    }
    int64_t size = -1;
    if (!detail.empty() && detail != "dir" && !ParseNumber(detail, &size)) {
      *error = "expect entry NAME [dir|SIZE]";
      return false;
    }
    const std::string encoded = Utf8ToCp1250(name);
    for (const ListingEntry& entry : last->reply.entries) {
      if (entry.name != encoded) continue;
      if ((detail == "dir" && !entry.directory) ||
          (size >= 0 && (entry.directory || entry.size != static_cast<uint64_t>(size)))) {
        *error = name + " is listed, but " +
                 (entry.directory ? std::string("as a directory")
                                  : "with " + std::to_string(entry.size) + " bytes");
        return false;
      }
      return passed(last->name + " lists " + name);
    }
    *error = last->name + " does not list " + name;
    return false;
  }
  if (kind == "contains") {
    if (!DecodeText(argument, &bytes, error)) return false;
    const Arrival* last = machine_.last();
    if (!last || bytes.empty() || last->bytes.find(bytes) == std::string::npos) {
      *error = (last ? last->name : std::string("nothing arrived, so nothing")) +
               " does not contain \"" + argument + "\"";
      return false;
    }
    return passed(last->name + " contains \"" + argument + "\"");
  }
  if (kind == "nothing") {
    int64_t quiet = 0;
    if (!ParseNumber(argument, &quiet)) {
      *error = "expect nothing MS";
      return false;
    }
    const size_t before = machine_.unclaimed().size();
    machine_.Run([&] { return machine_.unclaimed().size() != before; }, NowMs() + quiet, false);
    if (machine_.unclaimed().size() != before) {
      *error = machine_.unclaimed().back().name + " arrived";
      return false;
    }
    return passed("nothing arrived in " + argument + " ms");
  }
  *error = "expect file|reply|entry|contains|nothing ...";
  return false;
}

}  // namespace machine
