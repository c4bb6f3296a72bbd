#include "platform/win32/wide_text.h"

#include <windows.h>

#include <cstring>

namespace platform {

namespace {
constexpr UINT kCodePage = 1250;
}

std::wstring Cp1250ToWide(const char* text, size_t length) {
  if (!text || length == 0) return std::wstring();
  const int count = MultiByteToWideChar(kCodePage, 0, text, static_cast<int>(length), nullptr, 0);
  if (count <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(kCodePage, 0, text, static_cast<int>(length), &wide[0], count);
  return wide;
}

std::wstring Cp1250ToWide(const char* text) {
  return Cp1250ToWide(text, text ? std::strlen(text) : 0);
}

bool Cp1250ToWideStrict(const char* text, std::wstring* out) {
  out->clear();
  if (!text || !*text) return true;
  const int length = static_cast<int>(std::strlen(text));
  const int count = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
  if (count <= 0) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  out->assign(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text, length, &(*out)[0], count);
  return true;
}

bool WideToCp1250(const wchar_t* text, std::string* out) {
  out->clear();
  if (!text || !*text) return true;
  const int length = static_cast<int>(std::wcslen(text));
  BOOL guessed = FALSE;
  const int count = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0,
                                        nullptr, &guessed);
  if (count <= 0 || guessed) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  out->assign(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, length, &(*out)[0], count, nullptr,
                      &guessed);
  return !guessed;
}

std::string WideToCp1250Lossy(const wchar_t* text, size_t length) {
  if (!text || length == 0) return std::string();
  const int count = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text,
                                        static_cast<int>(length), nullptr, 0, "?", nullptr);
  if (count <= 0) return std::string();
  std::string narrow(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length), &narrow[0],
                      count, "?", nullptr);
  return narrow;
}

}  // namespace platform
