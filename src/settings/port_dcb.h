#pragma once

#include <cstdint>

// The serial device configuration, member for member the Win32 DCB with its meanings and values,
// so that the same record drives SetCommState on Windows and termios elsewhere.
struct PortDcb {
  uint32_t DCBlength;
  uint32_t BaudRate;
  uint32_t fBinary;
  uint32_t fParity;
  uint32_t fOutxCtsFlow;
  uint32_t fOutxDsrFlow;
  uint32_t fDtrControl;  // DTR_CONTROL_*
  uint32_t fDsrSensitivity;
  uint32_t fTXContinueOnXoff;
  uint32_t fOutX;
  uint32_t fInX;
  uint32_t fErrorChar;
  uint32_t fNull;
  uint32_t fRtsControl;  // RTS_CONTROL_*
  uint32_t fAbortOnError;
  uint16_t XonLim;
  uint16_t XoffLim;
  uint8_t ByteSize;
  uint8_t Parity;    // *PARITY
  uint8_t StopBits;  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
};

// The Win32 values, named so as not to clash with <windows.h> where both are seen.
namespace dcb {
constexpr uint32_t kDtrDisable = 0;    // DTR_CONTROL_DISABLE
constexpr uint32_t kDtrEnable = 1;     // DTR_CONTROL_ENABLE
constexpr uint32_t kDtrHandshake = 2;  // DTR_CONTROL_HANDSHAKE
constexpr uint32_t kRtsDisable = 0;    // RTS_CONTROL_DISABLE
constexpr uint32_t kRtsEnable = 1;     // RTS_CONTROL_ENABLE
constexpr uint32_t kRtsHandshake = 2;  // RTS_CONTROL_HANDSHAKE
constexpr uint32_t kRtsToggle = 3;     // RTS_CONTROL_TOGGLE
constexpr uint8_t kNoParity = 0;
constexpr uint8_t kOddParity = 1;
constexpr uint8_t kEvenParity = 2;
constexpr uint8_t kMarkParity = 3;
constexpr uint8_t kSpaceParity = 4;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kOne5StopBits = 1;
constexpr uint8_t kTwoStopBits = 2;
}  // namespace dcb

// Builds `portDcb` from the settings of the application state. Returns 1 when built, 0 when the
// platform's mode-string parser rejected the baud rate (nothing below the parser is touched then).
int BuildPortDcb();
