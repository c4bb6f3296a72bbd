// Only the kernel's terminal header here: it defines struct termios differently from <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "platform/posix/serial_rate.h"

namespace platform {

bool ApplyArbitraryRate(int fd, const KernelLineSettings& settings, uint32_t rate) {
  termios2 line{};
  if (ioctl(fd, TCGETS2, &line) != 0) return false;
  line.c_iflag = settings.iflag;
  line.c_oflag = settings.oflag;
  line.c_cflag = (settings.cflag & ~(CBAUD | CIBAUD)) | BOTHER;  // input rate follows output
  line.c_lflag = settings.lflag;
  line.c_cc[VMIN] = settings.vmin;
  line.c_cc[VTIME] = settings.vtime;
  line.c_cc[VSTART] = settings.vstart;
  line.c_cc[VSTOP] = settings.vstop;
  line.c_ispeed = rate;
  line.c_ospeed = rate;
  return ioctl(fd, TCSETS2, &line) == 0;
}

bool ReadOutputRate(int fd, uint32_t* rate) {
  termios2 line{};
  if (ioctl(fd, TCGETS2, &line) != 0) return false;
  *rate = line.c_ospeed;
  return true;
}

}  // namespace platform
