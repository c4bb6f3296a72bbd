#pragma once

#include <cstddef>
#include <string>

// The program's texts are Windows-1250; the wide Windows calls take UTF-16. These convert at that
// boundary, whatever code page the system is set to.
namespace platform {

// Every byte to its character (bytes that Windows-1250 leaves undefined as the system maps them).
std::wstring Cp1250ToWide(const char* text);
std::wstring Cp1250ToWide(const char* text, size_t length);
// Strict, for paths: false when a byte has no character.
bool Cp1250ToWideStrict(const char* text, std::wstring* out);
// Strict: false when a character has no Windows-1250 byte (nothing is replaced by a guess).
bool WideToCp1250(const wchar_t* text, std::string* out);
// Lenient, for texts read back from controls: a character without a byte becomes "?".
std::string WideToCp1250Lossy(const wchar_t* text, size_t length);

}  // namespace platform
