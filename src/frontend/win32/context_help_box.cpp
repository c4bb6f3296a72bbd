#include <string>

#include "frontend/win32/win32_windows.h"
#include "platform/win32/wide_text.h"

namespace {
// The buffer the help text is loaded into: 1000 characters with the terminator.
constexpr int kHelpTextWidth = 1000;
}  // namespace

int HelpRequestControl(LPARAM lParam) {
  const auto* request = reinterpret_cast<const HELPINFO*>(lParam);
  if (!request || request->iContextType != HELPINFO_WINDOW) return 0;
  return request->iCtrlId;
}

void ShowContextHelp(const HelpEntry* entry, HWND owner) {
  if (!entry) return;
  wchar_t text[kHelpTextWidth];
  if (LoadStringW(programInstance, static_cast<UINT>(entry->textId), text, kHelpTextWidth) <= 0) {
    return;
  }
  const std::wstring caption = platform::Cp1250ToWide(entry->caption);
  MessageBoxW(owner, text, caption.c_str(), MB_OK);
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT buttons) {
  const std::wstring wideText = platform::Cp1250ToWide(text);
  if (!caption) return MessageBoxW(owner, wideText.c_str(), nullptr, buttons);
  const std::wstring wideCaption = platform::Cp1250ToWide(caption);
  return MessageBoxW(owner, wideText.c_str(), wideCaption.c_str(), buttons);
}
