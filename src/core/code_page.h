#pragma once

#include <string>
#include <string_view>

// Texts of the program are Windows-1250; file systems and toolkits outside Windows speak UTF-8.

// Every byte to its character; the five bytes Windows-1250 leaves undefined become U+FFFD.
std::string Cp1250ToUtf8(std::string_view text);
// False, with `out` undefined, when the UTF-8 is malformed or a character has no Windows-1250 form.
bool Utf8ToCp1250(std::string_view text, std::string* out);
// The same, but every character without a Windows-1250 form, and every malformed byte, becomes "?":
// for what is only shown, where a text must not vanish for one character.
std::string Utf8ToCp1250Spelled(std::string_view text);
