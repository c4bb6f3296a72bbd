#pragma once

#include <string>
#include <string_view>

// Texts of the program are Windows-1250; file systems and toolkits outside Windows speak UTF-8.

// Every byte to its character; the five bytes Windows-1250 leaves undefined become U+FFFD.
std::string Cp1250ToUtf8(std::string_view text);
// False, with `out` undefined, when the UTF-8 is malformed or a character has no Windows-1250 form.
bool Utf8ToCp1250(std::string_view text, std::string* out);
