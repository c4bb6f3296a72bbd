#include "frontend/qt/qt_text.h"

#include "core/code_page.h"

QString FromLocal(const char* text) {
  return text ? QString::fromStdString(Cp1250ToUtf8(text)) : QString();
}

QString FromLocal(const std::string& text) {
  return QString::fromStdString(Cp1250ToUtf8(text));
}

bool ToLocal(const QString& text, std::string* out) {
  std::string converted;
  if (!Utf8ToCp1250(text.toStdString(), &converted)) return false;
  *out = std::move(converted);
  return true;
}
