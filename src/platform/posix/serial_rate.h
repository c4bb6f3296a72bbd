#pragma once

#include <cstdint>

// The Linux arbitrary-rate interface (termios2), kept apart because its kernel header clashes with
// <termios.h>: this header includes neither.
namespace platform {

struct KernelLineSettings {
  uint32_t iflag;
  uint32_t oflag;
  uint32_t cflag;  // without the rate bits
  uint32_t lflag;
  uint8_t vmin;
  uint8_t vtime;
  uint8_t vstart;
  uint8_t vstop;
};

// Applies the settings with input and output at `rate` bits per second.
bool ApplyArbitraryRate(int fd, const KernelLineSettings& settings, uint32_t rate);

// The output rate in bits per second as the device holds it (also on a pseudo-terminal's master,
// which reports its device's settings).
bool ReadOutputRate(int fd, uint32_t* rate);

}  // namespace platform
