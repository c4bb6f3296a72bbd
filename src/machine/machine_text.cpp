#include "machine/machine_text.h"

#include <cstdint>
#include <cstdio>

namespace machine {
namespace {

// The characters of the bytes 0x80 to 0xFF; 0 where Windows-1250 has none.
constexpr uint16_t kHighHalf[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string Hex(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "<%02X>", byte);
  return text;
}

// The code point of the UTF-8 sequence at `at`, and its length; length 0 when it is none.
uint32_t DecodeUtf8(const std::string& text, size_t at, size_t* length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t count = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  *length = 0;
  if (count == 0 || at + count > text.size()) return 0;
  uint32_t code = lead & (0x7F >> count);
  for (size_t i = 1; i < count; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  *length = count;
  return code;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Readable(const std::string& bytes, const std::string& indent) {
  std::string shown;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += static_cast<char>(byte);
    } else if (byte >= 0x80 && byte != 0xA0 && byte != 0xAD && kHighHalf[byte - 0x80] != 0) {
      AppendUtf8(kHighHalf[byte - 0x80], &shown);
    } else {
      shown += Hex(byte);
      if (byte == '\n' && i + 1 < bytes.size()) shown += "\n" + indent;
    }
  }
  return shown;
}

std::string Cp1250ToUtf8(const std::string& bytes) {
  std::string text;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 || kHighHalf[byte - 0x80] == 0) {
      text += c;
    } else {
      AppendUtf8(kHighHalf[byte - 0x80], &text);
    }
  }
  return text;
}

std::string Utf8ToCp1250(const std::string& text) {
  std::string bytes;
  for (size_t at = 0; at < text.size();) {
    size_t length = 0;
    const uint32_t code = DecodeUtf8(text, at, &length);
    if (length == 0) {
      bytes += text[at++];
      continue;
    }
    at += length;
    char found = '?';
    for (int i = 0; i < 128; ++i) {
      if (kHighHalf[i] == code) found = static_cast<char>(0x80 + i);
    }
    bytes += found;
  }
  return bytes;
}

bool DecodeText(const std::string& text, std::string* bytes, std::string* error) {
  std::string plain;
  bytes->clear();
  auto flush = [&] {
    *bytes += Utf8ToCp1250(plain);
    plain.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      plain += text[i];
      continue;
    }
    flush();
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    ++i;
    if (next == 'r') {
      *bytes += '\r';
    } else if (next == 'n') {
      *bytes += '\n';
    } else if (next == 't') {
      *bytes += '\t';
    } else if (next == '\\') {
      *bytes += '\\';
    } else if (next == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      *bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      *error = "unknown escape in \"" + text + "\" (\\r \\n \\t \\\\ \\xHH)";
      return false;
    }
  }
  flush();
  return true;
}

}  // namespace machine
