#include "frontend/win32/window_surface.h"

#include <commctrl.h>

#include <string>

#include "platform/win32/wide_text.h"
#include "ui/main_window.h"

namespace {
constexpr int kFirstImage = 118;
}

void WindowSurface::SetImage(int image, HBITMAP bitmap) {
  if (image >= kFirstImage && image < kFirstImage + 12) images_[image - kFirstImage] = bitmap;
}

HBITMAP WindowSurface::Image(int image) const {
  if (image >= kFirstImage && image < kFirstImage + 12) return images_[image - kFirstImage];
  return nullptr;
}

void WindowSurface::Attach(HWND dialog) {
  windowThread_ = GetCurrentThreadId();
  dialog_ = dialog;
}

void WindowSurface::Detach() {
  dialog_ = nullptr;
}

void WindowSurface::RunSentCall(LPARAM call) {
  auto* pending = reinterpret_cast<const std::function<void()>*>(call);
  (*pending)();
}

bool WindowSurface::OnWindow(const std::function<void(HWND)>& call) {
  HWND dialog = dialog_.load();
  if (!dialog) return false;
  if (GetCurrentThreadId() == windowThread_) {
    call(dialog);
    return true;
  }
  bool ran = false;
  const std::function<void()> onWindow = [&] {
    // The dialog may have gone between the send and its delivery.
    if (HWND current = dialog_.load()) {
      call(current);
      ran = true;
    }
  };
  SendMessageW(dialog, kRunOnWindowMessage, 0, reinterpret_cast<LPARAM>(&onWindow));
  return ran;
}

void WindowSurface::SetText(int control, const char* text) {
  const std::wstring wide = platform::Cp1250ToWide(text);
  OnWindow([&](HWND dialog) { SetDlgItemTextW(dialog, control, wide.c_str()); });
}

void WindowSurface::AppendText(int control, const char* text) {
  const std::wstring wide = platform::Cp1250ToWide(text);
  OnWindow([&](HWND dialog) {
    // At the end, wherever the user may have put the caret meanwhile.
    HWND edit = GetDlgItem(dialog, control);
    const LRESULT length = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
  });
}

std::string WindowSurface::GetText(int control) {
  std::string text;
  OnWindow([&](HWND dialog) {
    HWND item = GetDlgItem(dialog, control);
    const int length = GetWindowTextLengthW(item);
    if (length <= 0) return;
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(item, &wide[0], length + 1);
    text = platform::WideToCp1250Lossy(wide.c_str(), got > 0 ? static_cast<size_t>(got) : 0);
  });
  return text;
}

void WindowSurface::SetNumber(int control, unsigned value) {
  OnWindow([&](HWND dialog) { SetDlgItemInt(dialog, control, value, FALSE); });
}

unsigned WindowSurface::GetNumber(int control) {
  unsigned value = 0;
  OnWindow([&](HWND dialog) { value = GetDlgItemInt(dialog, control, nullptr, FALSE); });
  return value;
}

void WindowSurface::LimitText(int control, int characters) {
  OnWindow([&](HWND dialog) {
    SendDlgItemMessageW(dialog, control, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
  });
}

void WindowSurface::SetCheck(int control, bool checked) {
  OnWindow(
      [&](HWND dialog) { CheckDlgButton(dialog, control, checked ? BST_CHECKED : BST_UNCHECKED); });
}

void WindowSurface::Enable(int control, bool enabled) {
  OnWindow([&](HWND dialog) { EnableWindow(GetDlgItem(dialog, control), enabled ? TRUE : FALSE); });
}

void WindowSurface::SetButtonImage(int control, int image) {
  HBITMAP bitmap = Image(image);
  OnWindow([&](HWND dialog) {
    SendDlgItemMessageW(dialog, control, BM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(bitmap));
  });
}

void WindowSurface::SetStaticImage(int control, int image) {
  HBITMAP bitmap = Image(image);
  OnWindow([&](HWND dialog) {
    SendDlgItemMessageW(dialog, control, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(bitmap));
  });
}

void WindowSurface::SetProgressRange(int control, int low, int high) {
  OnWindow([&](HWND dialog) {
    SendDlgItemMessageW(dialog, control, PBM_SETRANGE, 0,
                        MAKELPARAM(static_cast<WORD>(low), static_cast<WORD>(high)));
  });
}

void WindowSurface::SetProgressPosition(int control, int position) {
  OnWindow([&](HWND dialog) {
    SendDlgItemMessageW(dialog, control, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  });
}

void WindowSurface::SetProgressStep(int control, int step) {
  OnWindow([&](HWND dialog) {
    SendDlgItemMessageW(dialog, control, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
  });
}

void WindowSurface::StepProgress(int control) {
  OnWindow([&](HWND dialog) { SendDlgItemMessageW(dialog, control, PBM_STEPIT, 0, 0); });
}

uint8_t WindowSurface::StartReplyTimer() {
  uint8_t started = 0;
  OnWindow([&](HWND dialog) {
    if (SetTimer(dialog, kReplyTimerId, kReplyTimerPeriodMs, nullptr) != 0) {
      started = kReplyTimerId;
    }
  });
  return started;
}

void WindowSurface::KillReplyTimer(uint8_t timerId) {
  OnWindow([&](HWND dialog) { KillTimer(dialog, timerId); });
}
