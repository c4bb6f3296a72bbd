// The settings dialog: its lists and selections as stored, its labels, a refused command name with
// its message box, Apply relabelling the main window, context help, OK saving. Also F1 help on the
// main window's controls.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "scenarios.h"
#include "ui/context_help.h"

namespace {

constexpr UINT kF1Message = 0x004D;  // WM_KEYF1: what the F1 key sends to the focused control

std::wstring ListEntry(HWND box, int index) {
  wchar_t text[256] = L"";
  const LRESULT length =
      SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

// F1 on `control`: the help box of that caption, its text the string-table entry `textId`.
void CheckHelp(DWORD pid, HWND control, const wchar_t* caption, int textId, Report* report) {
  PostMessageW(control, kF1Message, 0, 0);
  std::wstring text;
  report->Check(AnswerMessageBox(pid, caption, IDOK, &text),
                std::wstring(L"help box \"") + caption + L"\"");
  report->Equal(text, FromCp1250(HelpText(textId)), L"help text " + std::to_wstring(textId));
}

}  // namespace

void RunSettingsScenario(const ScenarioPlace& place, Report* report) {
  const std::wstring settingsPath = place.directory + L"\\tazo.ini";
  DeleteFileW(settingsPath.c_str());
  Program program;
  if (!report->Check(program.Start(place.exe, place.directory), L"tazo.exe starts")) return;
  const DWORD pid = program.process.dwProcessId;
  HWND main = WaitMainWindow(program);
  if (!report->Check(main != nullptr, L"the main window opens")) return program.Kill();

  CheckHelp(pid, GetDlgItem(main, 1142), L"Nasłuch", 1, report);
  CheckHelp(pid, GetDlgItem(main, 1108), L"Okno błędów", 8, report);
  CheckHelp(pid, GetDlgItem(main, 1149), L"Ostatni błąd", 7, report);

  ClickItem(main, 1052);
  HWND dialog = WaitProgramWindow(pid, L"#32770", L"Options");
  if (!report->Check(dialog != nullptr, L"the settings dialog opens")) return program.Kill();
  report->Check((GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_CONTEXTHELP) != 0,
                L"its caption has the help button");
  report->Check(GetWindow(dialog, GW_OWNER) == nullptr, L"it has no owner");
  report->Check(IsWindowEnabled(main), L"the main window stays enabled");

  struct List {
    int id;
    int count;
    int selected;
    const wchar_t* last;
  };
  const List lists[] = {{1085, 255, 0, L"COM255"}, {1083, 16, 7, L"256000"},
                        {1090, 5, 2, L"Space"},    {1091, 3, 0, L"2"},
                        {1092, 5, 4, L"8"},        {1101, 3, 0, L"Handshake"},
                        {1102, 4, 0, L"Toggle"},   {1126, 2, 0, L"English"}};
  for (const List& list : lists) {
    HWND box = GetDlgItem(dialog, list.id);
    const std::wstring name = L"list " + std::to_wstring(list.id);
    report->Equal(SendMessageW(box, CB_GETCOUNT, 0, 0), list.count, name + L" entries");
    report->Equal(SendMessageW(box, CB_GETCURSEL, 0, 0), list.selected, name + L" selection");
    report->Equal(ListEntry(box, list.count - 1), list.last, name + L" last entry");
  }
  const std::pair<int, const wchar_t*> labels[] = {{1116, L"Szybkość"},
                                                   {1024, L"Parzystość"},
                                                   {1050, L"Anuluj"},
                                                   {1049, L"Zastosuj"},
                                                   {1159, L"Komendy dla nasłuchu"},
                                                   {1164, L"Wyślij potwierdzenie"},
                                                   {1051, L"OK"},
                                                   {1087, L"CTS"}};
  for (const auto& label : labels) {
    report->Equal(TextOf(GetDlgItem(dialog, label.first)), label.second,
                  L"label " + std::to_wstring(label.first));
  }
  report->Equal(SendDlgItemMessageW(dialog, 1156, EM_GETLIMITTEXT, 0, 0), 20,
                L"command names take 20 characters");

  // A name that begins another one is refused, in a box owned by the dialog.
  SetTextOf(GetDlgItem(dialog, 1156), L"send");
  SetTextOf(GetDlgItem(dialog, 1058), L"SENDfile");
  ClickItem(dialog, 1049);
  std::wstring refusal;
  report->Check(AnswerMessageBox(pid, L"Error", IDOK, &refusal), L"the refusal box");
  report->Equal(refusal, L"Zła nazwa komendy do wysłania pliku", L"the refusal text");
  report->Check(IsWindowVisible(dialog), L"the dialog stays open");

  // Apply in English relabels the main window at once; the dialog keeps its labels.
  SetTextOf(GetDlgItem(dialog, 1058), L"lista");
  SendDlgItemMessageW(dialog, 1126, CB_SETCURSEL, 1, 0);
  ClickItem(dialog, 1049);
  report->Check(WaitFor([&] { return TextOf(GetDlgItem(main, 1163)) == L"Help"; }),
                L"Apply relabels the main window in English");
  report->Equal(TextOf(GetDlgItem(main, 1142)), L"Listen", L"ListenButton in English");
  report->Equal(TextOf(GetDlgItem(main, 1061)), L"Start/stop transmission",
                L"StartStopButton's announced name in English");
  report->Equal(TextOf(GetDlgItem(dialog, 1050)), L"Anuluj", L"the dialog keeps its labels");

  CheckHelp(pid, GetDlgItem(dialog, 1156), L"Komenda - wyślij plik", 13, report);
  CheckHelp(pid, GetDlgItem(dialog, 1164), L"Zmień katalog - potwierdzenie", 16, report);

  // A port above COM99 would be cut to another port's name: refused, nothing stored.
  SendDlgItemMessageW(dialog, 1085, CB_SETCURSEL, 99, 0);
  SetTextOf(GetDlgItem(dialog, 1058), L"inna");
  ClickItem(dialog, 1049);
  report->Check(AnswerMessageBox(pid, L"Error", IDOK, &refusal), L"the port's refusal box");
  report->Equal(refusal, L"Bad port name: 5 characters at most (COM1 to COM99)",
                L"the port's refusal text");
  // COM12 is stored whole; with no language chosen the one in force stays.
  SendDlgItemMessageW(dialog, 1085, CB_SETCURSEL, 11, 0);
  SendDlgItemMessageW(dialog, 1126, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetTextOf(GetDlgItem(dialog, 1058), L"lista");
  ClickItem(dialog, 1051);
  report->Check(WaitGone(dialog), L"OK closes the dialog");
  report->Equal(TextOf(GetDlgItem(main, 1163)), L"Help", L"no language chosen keeps English");
  std::vector<char> image(347);
  std::ifstream(settingsPath.c_str(), std::ios::binary).read(image.data(), 347);
  PortSettings saved{};
  std::memcpy(&saved, image.data(), sizeof saved);
  report->Equal(saved.language, 1, L"the language is saved");
  report->Equal(FromCp1250(saved.sendFileCommand), L"send", L"the send-file name is saved");
  report->Equal(FromCp1250(saved.sendDirCommand), L"lista", L"the listing name is saved");
  report->Check(std::string(image.data(), 9) == "COM129600",
                L"the port is saved whole (COM12), the baud rate right after it");

  report->Equal(CloseProgram(program, main, report), 1, L"exit status");
}
