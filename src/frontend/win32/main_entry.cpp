#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/lifecycle.h"
#include "core/local_text.h"
#include "frontend/win32/win32_windows.h"
#include "frontend/win32/window_surface.h"
#include "platform/win32/wide_text.h"
#include "ui/control_ids.h"

HINSTANCE programInstance = nullptr;
WindowSurface mainSurface;

namespace {

// How long the end of the program waits for a stopped engine to return.
constexpr uint32_t kEngineEndWaitMs = 5000;

void LoadImages() {
  for (int i = 0; i < 5; ++i) {
    const int image = FirstAnimationImage + i;
    mainSurface.SetImage(image, LoadBitmapW(programInstance, MAKEINTRESOURCEW(image)));
    app.animationImages[i] = image;
  }
  mainSurface.SetImage(StartImage, LoadBitmapW(programInstance, MAKEINTRESOURCEW(StartImage)));
  app.startImage = StartImage;
  mainSurface.SetImage(StopImage, LoadBitmapW(programInstance, MAKEINTRESOURCEW(StopImage)));
  app.stopImage = StopImage;
}

bool RegisterViewerClass() {
  WNDCLASSW viewerClass{};
  viewerClass.style = 0;
  viewerClass.lpfnWndProc = ViewerWindowProc;
  viewerClass.cbClsExtra = 0;
  viewerClass.cbWndExtra = 8;
  viewerClass.hInstance = programInstance;
  viewerClass.hIcon = LoadIconW(programInstance, MAKEINTRESOURCEW(122));
  viewerClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  viewerClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  viewerClass.lpszMenuName = nullptr;
  viewerClass.lpszClassName = L"MemWnd";
  return RegisterClassW(&viewerClass) != 0;
}

// Says why the program does not start in its folder, naming the folder as the system spells it
// (which may be what the program could not).
void ShowStartRefusal(const StartUpOutcome& outcome) {
  char reason[kRefusalTextWidth];
  FormatStartRefusal(outcome, reason, sizeof reason);
  std::wstring text = platform::Cp1250ToWide(reason);
  std::vector<wchar_t> folder(32768);
  const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
  if (length > 0 && length < folder.size()) text += L":\n" + std::wstring(folder.data(), length);
  MessageBoxW(nullptr, text.c_str(), nullptr, MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  programInstance = instance;
  const StartUpOutcome outcome = RunStartUpSteps();
  if (outcome.refusal != StartRefusal::kNone) {
    ShowStartRefusal(outcome);
    return 2;
  }
  LoadImages();
  if (!RegisterViewerClass()) return 0;

  // The progress bar's class, from the common controls the manifest asks for.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(106), nullptr, MainDialogProc, 0);
  if (!dialog) {
    const DWORD error = GetLastError();
    wchar_t code[32];
    wsprintfW(code, L" (%lu)", error);
    const std::wstring text =
        platform::Cp1250ToWide(LocalText("Nie można utworzyć okna programu.",
                                         "The program's window cannot be created.")) +
        code;
    MessageBoxW(nullptr, text.c_str(), nullptr, MB_OK | MB_ICONERROR);
    return 0;
  }

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  // A stopped engine may still be on its way out: the surface stays until it has returned.
  if (WaitForEnginesToEnd(kEngineEndWaitMs)) app.mainWindow = nullptr;
  return 1;
}
