// Serial end to end through the Win32 engines: the peer (serial_peer.py) owns the other end of the
// pseudo-terminal that COM12 names. A file sent, a file received, one listen cycle with a listing,
// Stop in the middle of a send, and the end mark held by XOFF.
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "core/app_state.h"
#include "scenarios.h"

namespace {

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ToCp1250(const std::wstring& text) {
  const int count = WideCharToMultiByte(1250, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(1250, 0, text.c_str(), -1, &bytes[0], count, nullptr, nullptr);
  bytes.resize(static_cast<size_t>(count) - 1);
  return bytes;
}

// The steps of the peer, in order.
class Peer {
 public:
  explicit Peer(std::wstring place) : place_(std::move(place)) {}
  // Asks for a step and waits until it is done; its answer ("ok" when it went well).
  std::wstring Step(const std::string& command) {
    Ask(command);
    return Finish();
  }
  void Ask(const std::string& command) {
    ++asked_;
    // Whole or not at all: the peer reads it as soon as it appears.
    const std::wstring path = place_ + L"\\cmd-" + std::to_wstring(asked_);
    WriteAll(path + L".new", command);
    MoveFileExW((path + L".new").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  std::wstring Finish() {
    const std::wstring done = place_ + L"\\done-" + std::to_wstring(asked_);
    if (!WaitFor([&] { return FileSizeOf(done) > 0; }, 60000)) return L"no answer";
    return FromCp1250(ReadAll(done).c_str());
  }
  std::string Result(const wchar_t* name) { return ReadAll(place_ + L"\\" + name); }
  // The peer reads Linux paths: the Windows one of a file under Z:.
  static std::string LinuxPath(const std::wstring& path) {
    std::string linux = ToUtf8(path.substr(2));
    for (char& c : linux) {
      if (c == '\\') c = '/';
    }
    return linux;
  }

 private:
  std::wstring place_;
  int asked_ = 0;
};

HBITMAP ButtonImage(HWND main) {
  return reinterpret_cast<HBITMAP>(SendDlgItemMessageW(main, 1061, BM_GETIMAGE, IMAGE_BITMAP, 0));
}

int Progress(HWND main) {
  return static_cast<int>(SendDlgItemMessageW(main, 1075, PBM_GETPOS, 0, 0));
}

// A transfer's reset is through: the buttons are enabled again.
bool Idle(HWND main) {
  return WaitFor([&] {
    return IsWindowEnabled(GetDlgItem(main, 1144)) && IsWindowEnabled(GetDlgItem(main, 1142)) &&
           IsWindowEnabled(GetDlgItem(main, 1050));
  });
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('0' + i % 64);
  return bytes;
}

}  // namespace

void RunSerialScenario(const ScenarioPlace& place, Report* report) {
  const std::wstring& dir = place.directory;
  Peer peer(place.extra);

  PortSettings settings{};
  // Above COM9: the five bytes of its field, opened by the device name.
  std::memcpy(settings.portName, "COM12", 5);
  std::strcpy(settings.baudText, "9600");
  settings.parityIndex = 2;
  settings.byteSizeIndex = 4;
  settings.xonXoff = 1;
  settings.replyDelay = 1;
  std::strcpy(settings.sendFileCommand, "PLIK");
  std::strcpy(settings.changeDirCommand, "KAT");
  std::strcpy(settings.sendDirCommand, "DIR");
  WriteAll(dir + L"\\tazo.ini", std::string(reinterpret_cast<const char*>(&settings), 347));

  const std::wstring sendPath = dir + L"\\wysyłka.txt";
  const std::string sent = Pattern(5000);
  WriteAll(sendPath, sent);
  CreateDirectoryW((dir + L"\\pliki").c_str(), nullptr);
  WriteAll(dir + L"\\pliki\\żółw.txt", "12345");

  Program program;
  if (!report->Check(program.Start(place.exe, dir), L"tazo.exe starts")) return;
  const DWORD pid = program.process.dwProcessId;
  HWND main = WaitMainWindow(program);
  if (!report->Check(main != nullptr, L"the main window opens")) {
    program.Kill();
    return;
  }
  const HBITMAP startImage = ButtonImage(main);
  report->Check(startImage != nullptr, L"StartStopButton shows a bitmap");

  // A file sent: its bytes, at least 1000 ms of silence, the byte 3.
  ClickItem(main, 1050);
  report->Check(AnswerFileDialog(pid, L"Otwórz plik do wysłania", sendPath),
                L"the open-file dialog takes the file");
  report->Equal(TextOf(GetDlgItem(main, 1062)), L"Wyślij plik wysyłka.txt", L"FileCaption");
  report->Equal(TextOf(GetDlgItem(main, 1113)), L"Bajty do wysłania", L"CountLabel");
  peer.Ask("collect send");
  ClickItem(main, 1061);
  report->Check(WaitFor([&] { return ButtonImage(main) != startImage; }),
                L"StartStopButton shows the stop bitmap while sending");
  report->Check(WaitFor([&] { return Progress(main) == 5; }), L"progress at 5 of 5 chunks");
  report->Equal(SendDlgItemMessageW(main, 1075, PBM_GETRANGE, FALSE, 0), 5, L"progress range");
  report->Equal(TextOf(GetDlgItem(main, 1060)), L"5000", L"CountField shows the size");
  report->Equal(peer.Finish(), L"ok", L"the peer got the byte 3");
  report->Check(peer.Result(L"send.bin") == sent, L"the peer got every byte of the file");
  const int gap = std::atoi(peer.Result(L"send.gap").c_str());
  // The peer's reader stamps a byte when its blocked read returns: a late wake for the last data
  // byte shortens the measure by that much, so the bound leaves 50 ms for it. A pause the program
  // cut to 900 ms would still fall short.
  report->Check(gap >= 950, L"silence before the byte 3: " + std::to_wstring(gap) + L" ms");
  report->Check(WaitFor([&] { return Progress(main) == 0 && ButtonImage(main) == startImage; }),
                L"after the send: progress 0, start bitmap");

  // A file received: everything before the byte 3 lands in the chosen file.
  const std::wstring receivePath = dir + L"\\odbiór.bin";
  const std::string incoming = Pattern(3000);
  WriteAll(dir + L"\\incoming.bin", incoming);
  report->Check(Idle(main), L"the controls are back after the run");
  ClickItem(main, 1049);
  report->Check(AnswerFileDialog(pid, L"Otwórz plik do odbioru", receivePath),
                L"the save-file dialog takes the file");
  report->Equal(TextOf(GetDlgItem(main, 1062)), L"Odbierz plik do odbiór.bin", L"FileCaption");
  ClickItem(main, 1061);
  // The lamps show the port's lines once it is open: only then does the peer send.
  report->Check(WaitFor([&] { return IsChecked(GetDlgItem(main, 1102)); }),
                L"the reception runs with the port open (CTS lamp on)");
  report->Check(IsChecked(GetDlgItem(main, 1103)) && IsChecked(GetDlgItem(main, 1105)) &&
                    !IsChecked(GetDlgItem(main, 1104)),
                L"DSR and RLSD lamps on, RING off");
  report->Equal(peer.Step("send " + Peer::LinuxPath(dir + L"\\incoming.bin")), L"ok",
                L"the peer sent a file");
  report->Check(WaitFor([&] { return ButtonImage(main) == startImage; }),
                L"the byte 3 ends the reception");
  report->Check(ReadAll(receivePath) == incoming, L"the received file holds the bytes sent");
  report->Equal(TextOf(GetDlgItem(main, 1060)), L"3000", L"CountField counts the bytes received");

  // One listen cycle: a listing of a directory asked for by a command file.
  report->Check(Idle(main), L"the controls are back after the run");
  ClickItem(main, 1142);
  report->Check(WaitFor([&] { return IsChecked(GetDlgItem(main, 1142)); }), L"listen mode on");
  report->Check(IsWindowEnabled(GetDlgItem(main, 1160)), L"the delay label is enabled");
  report->Check(WaitFor([&] { return IsChecked(GetDlgItem(main, 1102)); }),
                L"listening with the port open");
  WriteAll(dir + L"\\command.txt", "%MPF999\r\nDIR pliki\r\n");
  report->Equal(peer.Step("send " + Peer::LinuxPath(dir + L"\\command.txt")), L"ok",
                L"the peer sent the command file");
  report->Equal(peer.Step("collect listing"), L"ok", L"the listing came back");
  const std::string listing = peer.Result(L"listing.bin");
  const std::string header =
      "%MPF998\r\n" + ToCp1250(L"Bieżący katalog: " + dir + L"\\pliki") + "\r\n";
  report->Check(listing.compare(0, header.size(), header) == 0,
                L"the listing begins with its header: " + FromCp1250(listing.c_str()));
  report->Check(listing.find(ToCp1250(L"\r\nżółw.txt [rozmiar: 5]")) != std::string::npos,
                L"the listing names the Polish file with its size");
  report->Equal(TextOf(GetDlgItem(main, 1147)), dir + L"\\pliki",
                L"CurrentDirField follows the listed directory");
  report->Check(WaitFor([&] { return ButtonImage(main) == startImage && Progress(main) == 0; }),
                L"the reply is over");
  ClickItem(main, 1142);
  report->Check(WaitFor([&] { return !IsChecked(GetDlgItem(main, 1142)); }), L"listen mode off");

  // Stop in the middle of a send: the peer stops reading, the writes back up, Stop ends it.
  report->Check(Idle(main), L"the controls are back after the run");
  const std::wstring bigPath = dir + L"\\duży.txt";
  WriteAll(bigPath, std::string(300000, 'A'));
  ClickItem(main, 1050);
  report->Check(AnswerFileDialog(pid, L"Otwórz plik do wysłania", bigPath),
                L"the large file is chosen");
  report->Equal(peer.Step("hold"), L"ok", L"the peer holds");
  ClickItem(main, 1061);
  report->Check(WaitFor([&] { return Progress(main) >= 1; }), L"the large send is under way");
  ClickItem(main, 1061);
  report->Check(WaitFor([&] { return ButtonImage(main) == startImage; }),
                L"Stop puts the start bitmap back");
  report->Equal(peer.Step("release"), L"ok", L"the peer reads again");
  report->Equal(peer.Step("drain stopped 1500"), L"ok", L"the peer drained the line");
  const std::string rest = peer.Result(L"stopped.bin");
  report->Check(rest.find('\x03') == std::string::npos && rest.size() < 300000,
                L"nothing more and no byte 3 after Stop (" + std::to_wstring(rest.size()) +
                    L" bytes had been queued)");

  // XOFF held 3 s after the data, as a machine does while its buffer drains: the end mark waits
  // for XON. Stop during such a hold sends nothing more.
  report->Check(Idle(main), L"the controls are back after the run");
  ClickItem(main, 1050);
  report->Check(AnswerFileDialog(pid, L"Otwórz plik do wysłania", sendPath),
                L"the file is chosen again");
  peer.Ask("xoff-hold 5000 3000");
  ClickItem(main, 1061);
  report->Equal(peer.Finish(), L"ok", L"the byte 3 came after XON, not before");
  report->Check(WaitFor([&] { return ButtonImage(main) == startImage; }),
                L"the send ends after XON");
  report->Check(TextOf(GetDlgItem(main, 1108)).find(L"EOF") == std::wstring::npos,
                L"no failure of the end mark: " + TextOf(GetDlgItem(main, 1108)));
  report->Check(Idle(main), L"the controls are back after the run");
  peer.Ask("xoff-after 5000");
  ClickItem(main, 1061);
  report->Equal(peer.Finish(), L"ok", L"the peer holds the line after the data");
  report->Equal(peer.Step("drain held 2000"), L"ok", L"the peer waited past the end pause");
  report->Check(peer.Result(L"held.bin").empty(), L"nothing came during the hold");
  ClickItem(main, 1061);
  report->Check(WaitFor([&] { return ButtonImage(main) == startImage; }),
                L"Stop ends the held send");
  report->Equal(peer.Step("xon"), L"ok", L"the peer lets the line go");
  report->Equal(peer.Step("drain released 1500"), L"ok", L"the peer drained the line");
  report->Check(peer.Result(L"released.bin").empty(), L"no byte 3 after Stop");
  report->Check(TextOf(GetDlgItem(main, 1108)).find(L"EOF") == std::wstring::npos,
                L"Stop reports no failure");

  report->Equal(CloseProgram(program, main, report), 1, L"exit status");
  report->Check(ReadAll(dir + L"\\tazo.ini").compare(0, 9, "COM129600") == 0,
                L"COM12 is saved whole at the close");
  peer.Ask("quit");
}
