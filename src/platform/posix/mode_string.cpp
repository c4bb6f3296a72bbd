#include "platform/mode_string.h"

#include <cstdint>
#include <cstring>

namespace platform {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The old MODE abbreviations: the first two digits of a standard rate.
struct Abbreviation {
  uint64_t digits;
  uint32_t rate;
};
constexpr Abbreviation kAbbreviations[] = {{11, 110},  {15, 150},  {30, 300},
                                           {60, 600},  {12, 1200}, {24, 2400},
                                           {48, 4800}, {96, 9600}, {19, 19200}};

// The rate, up to the comma: a decimal number that is not 0 and fits 32 bits. Two digits are the
// old MODE abbreviation of a standard rate; any other two-digit value is rejected.
bool ParseRate(const char*& at, uint32_t* rate) {
  uint64_t value = 0;
  int digits = 0;
  for (; IsDigit(*at); ++at, ++digits) {
    value = value * 10 + static_cast<uint64_t>(*at - '0');
    if (value > UINT32_MAX) return false;
  }
  if (digits == 0 || *at != ',') return false;
  ++at;
  if (digits == 2) {
    for (const Abbreviation& abbreviation : kAbbreviations) {
      if (abbreviation.digits == value) {
        *rate = abbreviation.rate;
        return true;
      }
    }
    return false;
  }
  if (value == 0) return false;
  *rate = static_cast<uint32_t>(value);
  return true;
}

bool ParseParity(const char*& at, uint8_t* parity) {
  static const char kLetters[] = "NOEMSnoems";  // in the order of the parity values
  static_assert(dcb::kNoParity == 0 && dcb::kOddParity == 1 && dcb::kEvenParity == 2 &&
                    dcb::kMarkParity == 3 && dcb::kSpaceParity == 4,
                "parity values");
  const char* letter = *at ? std::strchr(kLetters, *at) : nullptr;
  if (!letter || at[1] != ',') return false;
  *parity = static_cast<uint8_t>((letter - kLetters) % 5);
  at += 2;
  return true;
}

bool ParseDataBits(const char*& at, uint8_t* size) {
  if (*at < '5' || *at > '8' || at[1] != ',') return false;
  *size = static_cast<uint8_t>(*at - '0');
  at += 2;
  return true;
}

// The last part: "1", "1.5" or "2", then the end of the text.
bool ParseStopBits(const char* at, uint8_t* stopBits) {
  if (at[0] == '1' && at[1] == 0) {
    *stopBits = dcb::kOneStopBit;
  } else if (at[0] == '1' && at[1] == '.' && at[2] == '5' && at[3] == 0) {
    *stopBits = dcb::kOne5StopBits;
  } else if (at[0] == '2' && at[1] == 0) {
    *stopBits = dcb::kTwoStopBits;
  } else {
    return false;
  }
  return true;
}

}  // namespace

// "<rate>,<parity>,<data bits>,<stop bits>", all four parts, nothing before or after them.
bool ParseModeString(const char* mode, PortDcb* out) {
  if (!mode || !out) return false;
  const char* at = mode;
  uint32_t rate = 0;
  uint8_t parity = 0, size = 0, stopBits = 0;
  if (!ParseRate(at, &rate) || !ParseParity(at, &parity) || !ParseDataBits(at, &size) ||
      !ParseStopBits(at, &stopBits)) {
    return false;
  }
  out->BaudRate = rate;
  out->Parity = parity;
  out->fParity = parity == dcb::kNoParity ? 0 : 1;
  out->ByteSize = size;
  out->StopBits = stopBits;
  out->fBinary = 1;
  out->fOutX = 0;
  out->fInX = 0;
  out->fOutxCtsFlow = 0;
  out->fOutxDsrFlow = 0;
  return true;
}

}  // namespace platform
