#pragma once

#include <QString>

#include <string>

// The core's texts are Windows-1250; Qt's are UTF-16. These are the only crossings between them.

QString FromLocal(const char* text);
QString FromLocal(const std::string& text);
// False when a character has no Windows-1250 form; `out` is then left as it was.
bool ToLocal(const QString& text, std::string* out);
