#pragma once

#include <termios.h>

#include <cstdint>

#include "platform/posix/serial_rate.h"
#include "settings/port_dcb.h"

namespace platform {

// What the port does itself on top of the terminal settings of one configuration.
struct LineOptions {
  uint32_t baudRate = 9600;
  uint32_t bitsPerChar = 10;  // start, data, parity and stop bits: for output drain estimates
  bool dropNull = false;
  uint8_t eventChar = 0;
  bool replaceErrors = false;
  uint8_t errorChar = 0;
  bool parityChecked = false;  // a marked error byte is a parity error rather than a framing one
  bool ctsFlow = false;
  bool dsrFlow = false;       // output held while DSR is off (devices with modem lines)
  bool dsrSensitive = false;  // input dropped while DSR is off (devices with modem lines)
  bool dtrOn = false;
  bool rtsOn = false;
};

// Raw mode with line errors and breaks marked in the data (PARMRK), 8 data bits, no parity,
// modem lines not controlling the line discipline.
void MakeRawMarked(termios* settings);

// Fills `settings` (which starts as the device's current settings) and `options` for `dcb`.
// Returns false with errno EINVAL for a configuration that a Windows driver refuses as well.
bool BuildLineSettings(const PortDcb& dcb, termios* settings, LineOptions* options);

// Applies `settings` at `rate` bits per second: a standard rate through tcsetattr, any other
// through the Linux arbitrary-rate interface. Fails with EINVAL when the device did not take the
// frame or the rate (within 3%).
bool ApplyLineSettings(int fd, const termios& settings, uint32_t rate);

}  // namespace platform
