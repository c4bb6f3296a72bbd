#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "ui/surface.h"

// The main window's controls as the surface the portable logic writes to. Every operation runs on
// the window thread: a call from an engine thread is sent to the main dialog (SendMessage), which
// applies it in call order while the caller waits, also inside a modal loop. Once the dialog is
// gone every operation does nothing.
class WindowSurface final : public Surface {
 public:
  // The private message that carries a call to the window thread.
  static constexpr UINT kRunOnWindowMessage = WM_APP + 1;

  // The bitmap handles behind the image numbers the logic uses (119, 118, 125 to 129).
  void SetImage(int image, HBITMAP bitmap);

  void Attach(HWND dialog);
  void Detach();
  HWND Dialog() const { return dialog_.load(); }

  // The dialog procedure hands kRunOnWindowMessage here.
  static void RunSentCall(LPARAM call);

  void SetText(int control, const char* text) override;
  void AppendText(int control, const char* text) override;
  std::string GetText(int control) override;
  void SetNumber(int control, unsigned value) override;
  unsigned GetNumber(int control) override;
  void LimitText(int control, int characters) override;
  void SetCheck(int control, bool checked) override;
  void Enable(int control, bool enabled) override;
  void SetButtonImage(int control, int image) override;
  void SetStaticImage(int control, int image) override;
  void SetProgressRange(int control, int low, int high) override;
  void SetProgressPosition(int control, int position) override;
  void SetProgressStep(int control, int step) override;
  void StepProgress(int control) override;
  uint8_t StartReplyTimer() override;
  void KillReplyTimer(uint8_t timerId) override;

 private:
  // Runs `call` with the dialog on the window thread; false when there is no dialog.
  bool OnWindow(const std::function<void(HWND)>& call);
  HBITMAP Image(int image) const;

  std::atomic<HWND> dialog_{nullptr};
  DWORD windowThread_ = 0;
  HBITMAP images_[12] = {};  // 118 to 129
};
