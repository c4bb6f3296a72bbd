#include "frontend/headless/headless_forms.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/app_state.h"
#include "frontend/headless/headless_driver.h"
#include "frontend/headless/headless_messages.h"
#include "settings/settings_dialog.h"
#include "ui/context_help.h"
#include "ui/control_ids.h"
#include "viewer/viewer.h"

namespace {

// The windows of this file live on the window thread; the lock only keeps a driver that calls
// from elsewhere from tearing them.
std::recursive_mutex formsLock;
SettingsDialogState settingsDialog;
ViewerState viewer;
bool viewerShown = false;
std::string viewerTitle;

SettingsDialogHooks HeadlessSettingsHooks() {
  SettingsDialogHooks hooks;
  // Owned by the dialog, no caption of its own: the platform's default error caption.
  hooks.showRefusal = [](const char* text) {
    ShowHeadlessMessage(text, "Error", MessageButtons::kOk);
  };
  return hooks;
}

bool ParseInt(const std::string& word, long long* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(word.c_str(), &end, 10);
  if (errno != 0 || *end != 0) return false;
  *value = parsed;
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string JoinFrom(const std::vector<std::string>& words, size_t first) {
  std::string text;
  for (size_t i = first; i < words.size(); ++i) {
    if (i > first) text.push_back(' ');
    text += words[i];
  }
  return text;
}

struct FieldName {
  const char* name;
  int control;
};

const FieldName kSettingsFields[] = {
    {"port", SettingsPortBox},
    {"baud", SettingsBaudBox},
    {"parity", SettingsParityBox},
    {"stopbits", SettingsStopBitsBox},
    {"bytelength", SettingsByteLengthBox},
    {"dtr", SettingsDtrBox},
    {"rts", SettingsRtsBox},
    {"language", SettingsLanguageBox},
    {"cts", SettingsCtsCheck},
    {"dsr", SettingsDsrCheck},
    {"dsrsensitivity", SettingsDsrSensitivityCheck},
    {"xonxoff", SettingsXonXoffCheck},
    {"confirm", SettingsConfirmCheck},
    {"sendfile", SettingsSendFileEdit},
    {"changedir", SettingsChangeDirEdit},
    {"senddir", SettingsSendDirEdit},
};

// A field by its name or its identifier; 0 when unknown.
int SettingsField(const std::string& word) {
  std::string name = Lower(word);
  for (const FieldName& field : kSettingsFields) {
    if (name == field.name) return field.control;
  }
  long long id = 0;
  if (ParseInt(word, &id)) {
    for (const FieldName& field : kSettingsFields) {
      if (field.control == id) return field.control;
    }
  }
  return 0;
}

const char* SettingsFieldName(int control) {
  for (const FieldName& field : kSettingsFields) {
    if (field.control == control) return field.name;
  }
  return "?";
}

void PrintSettings(std::ostream& out) {
  SettingsDialogState& d = settingsDialog;
  for (const FieldName& field : kSettingsFields) {
    out << field.name << " " << field.control << ": ";
    if (ComboBoxState* box = FindSettingsComboBox(&d, field.control)) {
      out << "\"" << box->text << "\" (";
      if (box->selected < 0) {
        out << "no entry";
      } else {
        out << "entry " << box->selected;
      }
      out << " of " << box->entries.size() << ")\n";
    } else if (bool* check = FindSettingsCheckBox(&d, field.control)) {
      out << (*check ? "checked" : "unchecked") << "\n";
    } else if (std::string* edit = FindSettingsEdit(&d, field.control)) {
      out << "\"" << *edit << "\"\n";
    }
  }
  for (const SettingsLabel& label : d.labels) {
    out << "label " << label.control << ": \"" << label.text << "\"\n";
  }
}

bool SetSettingsField(const std::vector<std::string>& words, std::ostream& out,
                      std::string* error) {
  // settings set <field> <value...>
  if (words.size() < 3) {
    *error = "usage: settings set <field> <value>";
    return true;
  }
  const int control = SettingsField(words[2]);
  if (!control) {
    *error = "unknown settings field " + words[2];
    return true;
  }
  const std::string value = UnescapeScriptText(JoinFrom(words, 3));
  SettingsDialogState* d = &settingsDialog;
  if (ComboBoxState* box = FindSettingsComboBox(d, control)) {
    long long index = 0;
    if (!value.empty() && value[0] == '#' && ParseInt(value.substr(1), &index)) {
      if (index < -1 || index >= static_cast<long long>(box->entries.size()) ||
          !SelectSettingsEntry(d, control, static_cast<int>(index))) {
        *error = "no entry " + value + " in " + words[2];
      }
    } else {
      int found = -1;
      for (size_t i = 0; i < box->entries.size() && found < 0; ++i) {
        if (Lower(box->entries[i]) == Lower(value)) found = static_cast<int>(i);
      }
      if (found < 0) {
        *error = "no entry \"" + value + "\" in " + words[2] + " (settings type types text)";
      } else {
        SelectSettingsEntry(d, control, found);
      }
    }
  } else if (FindSettingsCheckBox(d, control)) {
    std::string v = Lower(value);
    if (v == "1" || v == "on" || v == "yes") {
      SetSettingsCheck(d, control, true);
    } else if (v == "0" || v == "off" || v == "no") {
      SetSettingsCheck(d, control, false);
    } else {
      *error = "a check box takes 1 or 0";
    }
  } else {
    TypeSettingsCommandName(d, control, value);
  }
  if (error->empty()) out << "settings " << SettingsFieldName(control) << " set\n";
  return true;
}

bool RunSettingsCommand(const std::vector<std::string>& words, std::ostream& out,
                        std::string* error) {
  const std::string verb = words.size() > 1 ? Lower(words[1]) : std::string();
  if (verb == "open") {
    OpenHeadlessSettingsDialog();
    out << "settings opened\n";
    return true;
  }
  if (!settingsDialog.open) {
    *error = "the settings dialog is not open";
    return true;
  }
  if (verb == "set") return SetSettingsField(words, out, error);
  if (verb == "type") {
    const int control = words.size() > 2 ? SettingsField(words[2]) : 0;
    const std::string text = UnescapeScriptText(JoinFrom(words, 3));
    if (!control || !(TypeSettingsComboText(&settingsDialog, control, text) ||
                      TypeSettingsCommandName(&settingsDialog, control, text))) {
      *error = "usage: settings type <list or command field> <text>";
    } else {
      out << "settings " << SettingsFieldName(control) << " typed\n";
    }
    return true;
  }
  if (verb == "print") {
    PrintSettings(out);
    return true;
  }
  int command = 0;
  if (verb == "apply") command = SettingsApplyButton;
  if (verb == "ok") command = SettingsOkButton;
  if (verb == "cancel") command = SettingsCancelButton;
  if (verb == "escape" || verb == "close") command = kStandardCancelCommand;
  long long id = 0;
  if (verb == "command" && words.size() > 2 && ParseInt(words[2], &id)) {
    command = static_cast<int>(id);
  }
  if (!command) {
    *error = "usage: settings open|set|type|apply|ok|cancel|escape|close|command <id>|print";
    return true;
  }
  const bool applying = command == SettingsApplyButton || command == SettingsOkButton;
  bool applied = false;
  if (applying) {
    if (command == SettingsOkButton) app.settingsCloseAfterApply = 1;
    applied = ApplySettings(&settingsDialog, HeadlessSettingsHooks());
  } else {
    SettingsDialogCommand(&settingsDialog, command, HeadlessSettingsHooks());
  }
  if (applying) out << (applied ? "settings applied" : "settings refused") << "\n";
  out << (settingsDialog.open ? "settings open" : "settings closed") << "\n";
  return true;
}

void PrintViewer(std::ostream& out) {
  ViewerState& v = viewer;
  out << "viewer \"" << viewerTitle << "\" " << (v.hexMode ? "hex" : "text") << ": " << v.fileSize
      << " bytes, " << v.lineCount << " lines, widest " << v.widestLine << ", client "
      << v.clientWidth << "x" << v.clientHeight << "\n";
  out << "vertical 0.." << v.maxTopLine << " at " << v.topLine << ", horizontal 0.."
      << v.maxLeftColumn << " at " << v.leftColumn << "\n";
  // The lines the client area shows, the last one perhaps in part.
  const int64_t rows = (v.clientHeight + kViewerLineHeight - 1) / kViewerLineHeight;
  const size_t columns = ViewerVisibleColumns(v);
  for (int64_t line = v.topLine; line < v.topLine + rows && line < v.lineCount; ++line) {
    out << FormatViewerLine(&v, line, columns) << "\n";
  }
}

void PrintScroll(std::ostream& out, const ScrollOutcome& outcome) {
  out << "viewer " << (outcome.vertical ? "v" : "h");
  if (!outcome.changed) {
    out << " unchanged at " << outcome.position << "\n";
    return;
  }
  out << " to " << outcome.position;
  if (outcome.repaintAll) {
    out << ", repaint\n";
  } else {
    out << ", pixels " << outcome.scrollPixels << "\n";
  }
}

int ScrollRequestByName(const std::string& word) {
  static const FieldName kRequests[] = {
      {"lineup", kScrollLineUp},
      {"lineleft", kScrollLineUp},
      {"linedown", kScrollLineDown},
      {"lineright", kScrollLineDown},
      {"pageup", kScrollPageUp},
      {"pageleft", kScrollPageUp},
      {"pagedown", kScrollPageDown},
      {"pageright", kScrollPageDown},
      {"thumbposition", kScrollThumbPosition},
      {"thumbtrack", kScrollThumbTrack},
      {"top", kScrollTop},
      {"left", kScrollTop},
      {"bottom", kScrollBottom},
      {"right", kScrollBottom},
      {"endscroll", kScrollEnd},
  };
  std::string name = Lower(word);
  for (const FieldName& request : kRequests) {
    if (name == request.name) return request.control;
  }
  long long number = 0;
  if (ParseInt(word, &number) && number >= 0 && number <= 0xFFFF) return static_cast<int>(number);
  return -1;
}

int KeyByName(const std::string& word) {
  static const FieldName kKeys[] = {
      {"home", kKeyHome}, {"end", kKeyEnd},   {"pageup", kKeyPageUp}, {"pagedown", kKeyPageDown},
      {"up", kKeyUp},     {"down", kKeyDown}, {"left", kKeyLeft},     {"right", kKeyRight},
  };
  std::string name = Lower(word);
  for (const FieldName& key : kKeys) {
    if (name == key.name) return key.control;
  }
  long long number = 0;
  if (ParseInt(word, &number) && number >= 0 && number <= 0xFF) return static_cast<int>(number);
  return -1;
}

bool RunViewerCommand(const std::vector<std::string>& words, std::ostream& out,
                      std::string* error) {
  const std::string verb = words.size() > 1 ? Lower(words[1]) : std::string();
  if (verb == "open") {
    // viewer open <path> <text|hex> [title]: what the main window does after its own checks.
    if (words.size() < 4 || (Lower(words[3]) != "text" && Lower(words[3]) != "hex")) {
      *error = "usage: viewer open <path> <text|hex> [title]";
      return true;
    }
    std::string title = words.size() > 4 ? JoinFrom(words, 4) : words[2];
    OpenHeadlessViewer(
        platform::File::Open(words[2].c_str(), platform::FileMode::kReadHoldingNobody),
        title.c_str(), Lower(words[3]) == "hex" ? 1 : 0);
    out << (viewerShown ? "viewer opened" : "viewer not opened") << "\n";
    return true;
  }
  if (!viewerShown) {
    *error = "no viewer is shown";
    return true;
  }
  long long a = 0, b = 0;
  if (verb == "size" && words.size() == 4 && ParseInt(words[2], &a) && ParseInt(words[3], &b) &&
      a >= 0 && a <= 0xFFFF && b >= 0 && b <= 0xFFFF) {
    ScrollBars bars = ResizeViewer(&viewer, static_cast<int>(a), static_cast<int>(b));
    out << "viewer vertical 0.." << bars.verticalMax << " at " << bars.verticalPosition
        << ", horizontal 0.." << bars.horizontalMax << " at " << bars.horizontalPosition << "\n";
    return true;
  }
  if (verb == "key" && words.size() == 3 && KeyByName(words[2]) >= 0) {
    PrintScroll(out, ViewerKeyDown(&viewer, KeyByName(words[2])));
    return true;
  }
  if (verb == "scroll" && (words.size() == 4 || words.size() == 5)) {
    const std::string bar = Lower(words[2]);
    const int request = ScrollRequestByName(words[3]);
    long long thumb = 0;
    const bool thumbOk = words.size() == 4 || (ParseInt(words[4], &thumb) && thumb >= 0);
    if ((bar == "v" || bar == "h") && request >= 0 && thumbOk) {
      // The thumb position arrives in 16 bits, as in the scroll message.
      const uint16_t position = static_cast<uint16_t>(thumb & 0xFFFF);
      PrintScroll(out, bar == "v" ? ScrollViewerVertically(&viewer, request, position)
                                  : ScrollViewerHorizontally(&viewer, request, position));
      return true;
    }
  }
  if (verb == "paint" && words.size() == 4 && ParseInt(words[2], &a) && ParseInt(words[3], &b) &&
      a >= 0 && b >= a && b <= 0xFFFF) {
    LineRange range = ViewerPaintRange(viewer, static_cast<int>(a), static_cast<int>(b));
    for (int64_t line = range.first; line <= range.last; ++line) {
      out << "y " << ViewerLineY(viewer, line) << ": " << FormatViewerLine(&viewer, line) << "\n";
    }
    return true;
  }
  if (verb == "print" && words.size() == 2) {
    PrintViewer(out);
    return true;
  }
  if (verb == "close" && words.size() == 2) {
    CloseHeadlessViewer();
    out << "viewer closed\n";
    return true;
  }
  *error =
      "usage: viewer open <path> <text|hex> [title] | size <w> <h> | key <name> | "
      "scroll <v|h> <request> [pos] | paint <top> <bottom> | print | close";
  return true;
}

void PrintHelp(std::ostream& out, const HelpEntry* entry) {
  const char* text = entry ? HelpText(entry->textId) : nullptr;
  if (!text) {
    out << "(none)\n";
    return;
  }
  out << "caption: " << entry->caption << "\n" << text << "\n";
}

bool RunHelpCommand(const std::vector<std::string>& words, std::ostream& out, std::string* error) {
  if (words.size() == 3 && Lower(words[1]) == "settings") {
    long long id = 0;
    int control = SettingsField(words[2]);
    if (!control && ParseInt(words[2], &id)) control = static_cast<int>(id);
    if (!control) {
      *error = "usage: help settings <id or field>";
      return true;
    }
    PrintHelp(out, FindSettingsDialogHelp(control));
    return true;
  }
  if (words.size() != 2 || Lower(words[1]) == "settings") {
    *error = "usage: help <ControlName> | help settings <id or field>";
    return true;
  }
  const ControlInfo* control = FindMainWindowControlByName(words[1].c_str());
  long long id = 0;
  if (!control && ParseInt(words[1], &id)) control = FindMainWindowControl(static_cast<int>(id));
  if (!control) {
    *error = "unknown control " + words[1];
    return true;
  }
  PrintHelp(out, FindMainWindowHelp(control->id));
  return true;
}

}  // namespace

void OpenHeadlessSettingsDialog() {
  std::lock_guard<std::recursive_mutex> hold(formsLock);
  // A second press of SettingsButton while one is open shows a fresh dialog in its place.
  OpenSettingsDialog(&settingsDialog);
}

void OpenHeadlessViewer(std::shared_ptr<platform::File> file, const char* title, int mode) {
  std::lock_guard<std::recursive_mutex> hold(formsLock);
  CloseHeadlessViewer();
  if (!OpenViewerState(&viewer, std::move(file), mode)) {
    ShowHeadlessMessage(kViewerOpenFailedText, kViewerOpenFailedCaption, MessageButtons::kOk);
    return;
  }
  viewerTitle = title ? title : "";
  MeasureViewerLines(&viewer);
  ResizeViewer(&viewer, kViewerDefaultClientWidth, kViewerDefaultClientHeight);
  viewerShown = true;
  app.viewerWindow = &viewer;
}

void CloseHeadlessViewer() {
  std::lock_guard<std::recursive_mutex> hold(formsLock);
  if (!viewerShown) return;
  CloseViewerState(&viewer);
  viewerShown = false;
  viewerTitle.clear();
  if (app.viewerWindow == &viewer) app.viewerWindow = nullptr;
}

bool HeadlessViewerShown() {
  std::lock_guard<std::recursive_mutex> hold(formsLock);
  return viewerShown;
}

bool RunFormsCommand(const std::vector<std::string>& words, std::ostream& out, std::string* error) {
  if (words.empty()) return false;
  std::string scratch;
  if (!error) error = &scratch;
  error->clear();
  const std::string first = Lower(words[0]);
  std::lock_guard<std::recursive_mutex> hold(formsLock);
  if (first == "settings") return RunSettingsCommand(words, out, error);
  if (first == "viewer") return RunViewerCommand(words, out, error);
  if (first == "help") return RunHelpCommand(words, out, error);
  return false;
}
