#include "frontend/headless/headless_driver.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

#include "core/code_page.h"
#include "frontend/headless/headless_forms.h"
#include "frontend/headless/headless_messages.h"
#include "ui/control_ids.h"

namespace {

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// The first word of `line` and the rest after the blanks that follow it.
std::string SplitWord(const std::string& line, std::string* rest) {
  std::string trimmed = Trim(line);
  size_t blank = trimmed.find_first_of(" \t");
  if (blank == std::string::npos) {
    rest->clear();
    return trimmed;
  }
  *rest = Trim(trimmed.substr(blank));
  return trimmed.substr(0, blank);
}

bool ParseMilliseconds(const std::string& word, long* value) {
  if (word.empty() || word.size() > 9) return false;
  for (char c : word) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  *value = std::stol(word);
  return true;
}

struct Runner {
  HeadlessApp& program;
  std::ostream& out;
  const DriverOptions& options;
  std::string error;

  std::string Shown(const std::string& text) {
    std::string escaped = EscapeForPrint(text);
    return options.utf8 ? Cp1250ToUtf8(escaped) : escaped;
  }

  const ControlInfo* Control(const std::string& name) {
    if (name.empty()) {
      error = "a control name is missing";
      return nullptr;
    }
    const ControlInfo* info = FindMainWindowControlByName(name.c_str());
    if (!info) error = "unknown control \"" + name + "\"";
    return info;
  }

  void PrintControl(const ControlInfo& info) {
    HeadlessSurface::Control state = program.surface().Read(info.id);
    out << info.name << ": text=\"" << Shown(state.text) << "\" enabled=" << state.enabled
        << " checked=" << state.checked << " image=" << state.image
        << " progress=" << state.progressPosition << "/" << state.progressLow << "-"
        << state.progressHigh << "\n";
  }

  bool WaitForText(const std::string& rest, bool containing) {
    std::string name, afterName, afterTime;
    name = SplitWord(rest, &afterName);
    std::string time = SplitWord(afterName, &afterTime);
    long timeoutMs = 0;
    const ControlInfo* info = Control(name);
    if (!info) return false;
    if (!ParseMilliseconds(time, &timeoutMs)) {
      error = "expected a time in milliseconds after the control name";
      return false;
    }
    const std::string wanted = UnescapeScriptText(afterTime);
    const int id = info->id;
    bool seen = program.surface().WaitUntil(
        [&] {
          std::string text = program.surface().GetText(id);
          return containing ? text.find(wanted) != std::string::npos : text == wanted;
        },
        std::chrono::milliseconds(timeoutMs));
    if (!seen) {
      error = std::string("deadline of ") + time + " ms passed: " + info->name +
              (containing ? " does not contain \"" : " does not show \"") + Shown(wanted) +
              "\", it shows \"" + Shown(program.surface().GetText(id)) + "\"";
    }
    return seen;
  }

  bool Carry(const std::string& line) {
    std::string rest;
    const std::string command = SplitWord(line, &rest);
    if (command == "press") {
      const ControlInfo* info = Control(rest);
      return info && program.Press(info->id, &error);
    }
    if (command == "type") {
      std::string text;
      const ControlInfo* info = Control(SplitWord(rest, &text));
      if (!info) return false;
      if (!program.Type(info->id, UnescapeScriptText(text))) {
        error = "the main window is closed";
        return false;
      }
      return true;
    }
    if (command == "dialog") {
      if (rest.empty()) {
        error = "dialog needs a path or \"cancel\"";
        return false;
      }
      if (rest == "cancel") {
        QueueFileDialogCancel();
      } else {
        QueueFileDialogPath(rest);
      }
      return true;
    }
    if (command == "answer") {
      if (rest == "yes") {
        QueueMessageAnswer(MessageAnswer::kYes);
      } else if (rest == "no") {
        QueueMessageAnswer(MessageAnswer::kNo);
      } else if (rest == "ok") {
        QueueMessageAnswer(MessageAnswer::kOk);
      } else {
        error = "answer needs yes, no or ok";
        return false;
      }
      return true;
    }
    if (command == "wait") {
      long ms = 0;
      if (!ParseMilliseconds(rest, &ms)) {
        error = "wait needs a time in milliseconds";
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return true;
    }
    if (command == "wait-text") return WaitForText(rest, false);
    if (command == "wait-contains") return WaitForText(rest, true);
    if (command == "print") {
      if (rest == "all") {
        for (int i = 0; i < kMainWindowControlCount; ++i) PrintControl(kMainWindowControls[i]);
        return true;
      }
      const ControlInfo* info = Control(rest);
      if (info) PrintControl(*info);
      return info != nullptr;
    }
    if (command == "f1") {
      const ControlInfo* info = Control(rest);
      return info && program.AskHelp(info->id);
    }
    if (command == "close") {
      if (!program.WindowOpen()) {
        error = "the main window is closed already";
        return false;
      }
      program.Close();
      out << (program.WindowOpen() ? "still running\n" : "closed\n");
      return true;
    }

    std::vector<std::string> words;
    std::istringstream split(line);
    for (std::string word; split >> word;) words.push_back(word);
    // The dialogs and the viewer belong to the window thread, like every other user action.
    std::ostringstream printed;
    std::string formsError;
    bool known = false;
    if (!program.RunOnWindow([&] { known = RunFormsCommand(words, printed, &formsError); })) {
      error = "the main window is closed";
      return false;
    }
    out << (options.utf8 ? Cp1250ToUtf8(printed.str()) : printed.str());
    if (known) {
      error = formsError;
      return formsError.empty();
    }
    error = "unknown command \"" + command + "\"";
    return false;
  }
};

}  // namespace

std::string UnescapeScriptText(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      result += text[i];
      continue;
    }
    char next = text[++i];
    switch (next) {
      case 'r':
        result += '\r';
        break;
      case 'n':
        result += '\n';
        break;
      case 't':
        result += '\t';
        break;
      case 'x':
        if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
          result += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          result += "\\x";
        }
        break;
      default:
        result += next;
        break;
    }
  }
  return result;
}

std::string EscapeForPrint(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    if (c == '\r') {
      result += "\\r";
    } else if (c == '\n') {
      result += "\\n";
    } else if (c == '\t') {
      result += "\\t";
    } else if (c == '\\') {
      result += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      result += hex;
    } else {
      result += static_cast<char>(c);
    }
  }
  return result;
}

namespace {

// Lines whose argument is a path: a file dialog's answer and the viewer's file.
bool NamesAPath(const std::string& line) {
  std::string rest;
  const std::string first = SplitWord(line, &rest);
  if (first == "dialog") return true;
  std::string afterSecond;
  return first == "viewer" && SplitWord(rest, &afterSecond) == "open";
}

}  // namespace

int RunHeadlessScript(HeadlessApp& program, std::istream& script, std::ostream& out,
                      const DriverOptions& options) {
  Runner runner{program, out, options, {}};
  SetMessageObserver([&](const ShownMessage& shown) {
    const char* answer = shown.answer == MessageAnswer::kYes  ? "yes"
                         : shown.answer == MessageAnswer::kNo ? "no"
                                                              : "ok";
    out << "message [" << runner.Shown(shown.caption) << "] \"" << runner.Shown(shown.text)
        << "\" -> " << answer << "\n";
  });
  SetFileDialogObserver([&](const ShownFileDialog& shown) {
    out << "file dialog [" << runner.Shown(shown.title) << "] -> "
        << (shown.chosen.empty() ? std::string("cancel") : shown.chosen) << "\n";
  });

  int status = 0;
  std::string line;
  for (int number = 1; std::getline(script, line); ++number) {
    // A path names a file as the file system spells it, so it is taken as it stands.
    if (options.utf8 && !NamesAPath(line)) line = Utf8ToCp1250Spelled(line);
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    runner.error.clear();
    if (!runner.Carry(trimmed)) {
      out << "line " << number << ": " << runner.error << "\n";
      status = 1;
      break;
    }
    // A person at a terminal, or a program reading a pipe, sees each line's outcome at once.
    out.flush();
  }
  out.flush();
  SetMessageObserver(nullptr);
  SetFileDialogObserver(nullptr);
  return status;
}
