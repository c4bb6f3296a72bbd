// Not a test: pictures of the three windows for the README (scripts/screenshots-windows.sh runs it
// on a real display). The start directory's tazo.ini decides the language; `extra` is the name
// suffix ("pl", "en").
#include <windows.h>

#include <fstream>

#include "scenarios.h"

namespace {

// The window as the screen shows it, into a 24-bit BMP file.
bool Capture(HWND window, const std::wstring& path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageBytes;
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), imageBytes);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out.good();
}

void Settle() {
  Sleep(1500);  // let the window manager-less X server draw: a picture, not a check
}

}  // namespace

void RunScreenshots(const ScenarioPlace& place, Report* report) {
  Program program;
  if (!report->Check(program.Start(place.exe, place.directory), L"tazo.exe starts")) return;
  const DWORD pid = program.process.dwProcessId;
  HWND main = WaitMainWindow(program);
  if (!report->Check(main != nullptr, L"the main window opens")) return program.Kill();
  const std::wstring prefix = place.directory + L"\\windows-";
  Settle();
  report->Check(Capture(main, prefix + L"main-" + place.extra + L".bmp"), L"main window");

  ClickItem(main, 1052);
  HWND dialog = WaitProgramWindow(pid, L"#32770", L"Options");
  Settle();
  report->Check(dialog && Capture(dialog, prefix + L"settings-" + place.extra + L".bmp"),
                L"settings dialog");
  if (dialog) ClickItem(dialog, 1050);
  WaitGone(dialog);

  ClickItem(main, 1163);
  HWND viewer = WaitProgramWindow(pid, L"MemWnd", L"Pomoc");
  Settle();
  report->Check(viewer && Capture(viewer, prefix + L"viewer-" + place.extra + L".bmp"), L"viewer");
  CloseProgram(program, main, report);
}

// The installer's finish page: place.exe is the installer, run through its pages with Install.
void RunInstallerScreenshot(const ScenarioPlace& place, Report* report) {
  Program setup;
  if (!report->Check(setup.Start(place.exe, place.directory), L"the installer starts")) return;
  HWND wizard = WaitProgramWindow(setup.process.dwProcessId, L"#32770", nullptr);
  if (!report->Check(wizard != nullptr, L"the installer's window opens")) return setup.Kill();
  ClickItem(wizard, IDOK);  // Install on the folder page
  auto finish = [wizard] {
    const std::wstring text = TextOf(GetDlgItem(wizard, IDOK));
    return text == L"&Zakończ" || text == L"&Finish";
  };
  if (!report->Check(WaitFor(finish), L"the finish page")) return setup.Kill();
  Settle();
  report->Check(Capture(wizard, place.directory + L"\\windows-installer-" + place.extra + L".bmp"),
                L"finish page");
  ClickItem(wizard, IDOK);
  report->Equal(setup.WaitExit(), 0, L"the installer's exit status");
}
