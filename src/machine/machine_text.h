#pragma once

#include <string>

// The line carries Windows-1250 bytes; the terminal and the scripts speak UTF-8.
namespace machine {

// Printable text as it stands (Polish letters shown as UTF-8), every control byte and every
// byte without a character as <hex>. A line feed also breaks the shown line, indented by `indent`.
std::string Readable(const std::string& bytes, const std::string& indent = "");

// A UTF-8 text as Windows-1250 bytes. Characters that code page lacks come out as '?'; bytes
// that are not UTF-8 pass as they are.
std::string Utf8ToCp1250(const std::string& text);
std::string Cp1250ToUtf8(const std::string& bytes);

// Script and console texts: \r \n \t \\ \xHH stand for their bytes, the rest is UTF-8 turned
// into Windows-1250. False, with `error`, on a broken escape.
bool DecodeText(const std::string& text, std::string* bytes, std::string* error);

}  // namespace machine
