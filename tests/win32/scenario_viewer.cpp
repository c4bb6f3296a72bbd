// The viewer: the help file, a text file and a binary file, its keys and scroll positions; an
// empty file refused.
#include <windows.h>

#include <fstream>
#include <string>

#include "scenarios.h"

namespace {

void Write(const std::wstring& path, const std::string& bytes) {
  std::ofstream(path.c_str(), std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The scroll state the viewer publishes (its scroll bars are not readable from another process
// under Wine); -1 when it is not there.
int State(HWND viewer, const wchar_t* name) {
  return static_cast<int>(reinterpret_cast<intptr_t>(GetPropW(viewer, name))) - 1;
}
int Position(HWND viewer, int bar) {
  return State(viewer, bar == SB_VERT ? L"ViewerTopLine" : L"ViewerLeftColumn");
}
int Maximum(HWND viewer, int bar) {
  return State(viewer, bar == SB_VERT ? L"ViewerMaxTopLine" : L"ViewerMaxLeftColumn");
}

void Key(HWND viewer, int key) {
  PostMessageW(viewer, WM_KEYDOWN, static_cast<WPARAM>(key), 0);
}

bool KeyMoves(HWND viewer, int key, int bar, int expected) {
  Key(viewer, key);
  return WaitFor([&] { return Position(viewer, bar) == expected; }, 5000);
}

HWND OpenViewer(const Program& program, HWND main, int button, const wchar_t* title) {
  ClickItem(main, button);
  return WaitProgramWindow(program.process.dwProcessId, L"MemWnd", title);
}

}  // namespace

void RunViewerScenario(const ScenarioPlace& place, Report* report) {
  const std::wstring& dir = place.directory;
  std::string text;
  for (int line = 0; line < 100; ++line)
    text += "wiersz " + std::to_string(line) + "\t\xBF\xF3\xB3w\r\n";
  text += std::string(200, 'x') + "\n";
  Write(dir + L"\\tekst.txt", text);
  std::string binary;
  for (int i = 0; i < 1000; ++i) binary += static_cast<char>(i % 256);
  Write(dir + L"\\dane.bin", binary);
  Write(dir + L"\\pusty.txt", "");

  Program program;
  if (!report->Check(program.Start(place.exe, dir), L"tazo.exe starts")) return;
  const DWORD pid = program.process.dwProcessId;
  HWND main = WaitMainWindow(program);
  if (!report->Check(main != nullptr, L"the main window opens")) return program.Kill();

  HWND help = OpenViewer(program, main, 1163, L"Pomoc");
  if (report->Check(help != nullptr, L"Help opens pomoc.txt in the viewer")) {
    RECT frame{};
    GetWindowRect(help, &frame);
    report->Check(frame.left == 15 && frame.top == 15 && frame.right - frame.left == 640 &&
                      frame.bottom - frame.top == 300,
                  L"the viewer is 640 by 300 at (15, 15)");
    report->Equal(static_cast<long long>(GetWindow(help, GW_OWNER) == main), 1,
                  L"the main window owns it");
  }

  // A text file: 102 lines (the last one empty after its LF), one of 200 columns.
  ClickItem(main, 1050);
  report->Check(AnswerFileDialog(pid, L"Otwórz plik do wysłania", dir + L"\\tekst.txt"),
                L"the text file is chosen");
  HWND viewer = OpenViewer(program, main, 1073, (dir + L"\\tekst.txt").c_str());
  report->Check(viewer != nullptr, L"View text opens the file with its path as title");
  report->Check(!IsWindow(help), L"the help viewer is gone");
  if (viewer) {
    RECT client{};
    GetClientRect(viewer, &client);
    const int maxTop = 102 - client.bottom / 15;

    report->Equal(Maximum(viewer, SB_VERT), maxTop, L"vertical range: lines past the page");
    report->Equal(Maximum(viewer, SB_HORZ), 200 - client.right / 8, L"horizontal range");
    report->Check(KeyMoves(viewer, VK_END, SB_VERT, maxTop), L"End goes to the last page");
    report->Check(KeyMoves(viewer, VK_UP, SB_VERT, maxTop - 1), L"Up goes one line up");
    report->Check(KeyMoves(viewer, VK_HOME, SB_VERT, 0), L"Home goes to the top");
    report->Check(KeyMoves(viewer, VK_NEXT, SB_VERT, client.bottom / 15), L"Page Down: a page");
    report->Check(KeyMoves(viewer, VK_DOWN, SB_VERT, client.bottom / 15 + 1), L"Down: a line");
    report->Check(KeyMoves(viewer, VK_RIGHT, SB_HORZ, 1), L"Right: a column");
    report->Check(KeyMoves(viewer, VK_LEFT, SB_HORZ, 0), L"Left: back");
  }

  // A binary file as hex: 63 lines of 16 bytes, no horizontal scrolling.
  ClickItem(main, 1050);
  report->Check(AnswerFileDialog(pid, L"Otwórz plik do wysłania", dir + L"\\dane.bin"),
                L"the binary file is chosen");
  HWND hex = OpenViewer(program, main, 1114, (dir + L"\\dane.bin").c_str());
  if (report->Check(hex != nullptr, L"View hexa opens the binary file")) {
    RECT client{};
    GetClientRect(hex, &client);
    report->Equal(Maximum(hex, SB_VERT), 63 - client.bottom / 15, L"hex: 63 lines");
    report->Check(KeyMoves(hex, VK_END, SB_VERT, 63 - client.bottom / 15), L"hex: End");
    Key(hex, VK_RIGHT);
    report->Check(KeyMoves(hex, VK_HOME, SB_VERT, 0) && Position(hex, SB_HORZ) == 0,
                  L"hex: Right does nothing");
  }

  // An empty file opens no viewer.
  ClickItem(main, 1050);
  report->Check(AnswerFileDialog(pid, L"Otwórz plik do wysłania", dir + L"\\pusty.txt"),
                L"the empty file is chosen");
  ClickItem(main, 1073);
  std::wstring refusal;
  report->Check(AnswerMessageBox(pid, L"Error", IDOK, &refusal), L"the empty file is refused");
  report->Equal(refusal, L"Plik pusty", L"the refusal text");
  report->Check(FindProgramWindow(pid, L"MemWnd", nullptr) == nullptr, L"no viewer is open");

  report->Equal(CloseProgram(program, main, report), 1, L"exit status");
}
