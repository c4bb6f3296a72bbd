#include "core/code_page.h"

#include <cstdint>

namespace {

// The characters of bytes 0x80 to 0xFF.
constexpr uint16_t kUpperHalf[128] = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

constexpr uint16_t kUndefined = 0xFFFD;

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Decodes one character at `at`; false on a malformed, overlong or surrogate sequence.
bool NextCodePoint(std::string_view text, size_t* at, uint32_t* code) {
  const auto lead = static_cast<uint8_t>(text[*at]);
  size_t length;
  uint32_t value;
  if (lead < 0x80) {
    length = 1;
    value = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07u;
  } else {
    return false;
  }
  if (text.size() - *at < length) return false;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(text[*at + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3Fu);
  }
  static constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return false;
  }
  *at += length;
  *code = value;
  return true;
}

// The Windows-1250 byte of `code`; 0 when it has none.
char ByteOf(uint32_t code) {
  if (code < 0x80) return static_cast<char>(code);
  if (code == kUndefined) return 0;
  for (int i = 0; i < 128; ++i) {
    if (kUpperHalf[i] == code) return static_cast<char>(0x80 + i);
  }
  return 0;
}

}  // namespace

std::string Cp1250ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    AppendUtf8(byte < 0x80 ? byte : kUpperHalf[byte - 0x80], &out);
  }
  return out;
}

bool Utf8ToCp1250(std::string_view text, std::string* out) {
  out->clear();
  out->reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    if (!NextCodePoint(text, &at, &code)) return false;
    const char byte = ByteOf(code);
    if (byte == 0 && code != 0) return false;
    out->push_back(byte);
  }
  return true;
}

std::string Utf8ToCp1250Spelled(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    if (!NextCodePoint(text, &at, &code)) {
      out.push_back('?');
      ++at;
      continue;
    }
    const char byte = ByteOf(code);
    out.push_back(byte == 0 && code != 0 ? '?' : byte);
  }
  return out;
}
