/* LD_PRELOAD shim for the Wine tests: gives the slave of a pseudo-terminal the modem lines a
 * serial port has, so that Wine's comm calls (GetCommModemStatus, WaitCommEvent, the DTR and RTS
 * settings) work on it. CTS, DSR and RLSD are on; DTR and RTS follow what the program sets. Every
 * other descriptor and request goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

static int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;

/* Slaves of /dev/pts have the majors 136 to 143. */
static int IsPtySlave(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return 0;
  return major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real_ioctl)(int, unsigned long, ...);
  va_list args;
  va_start(args, request);
  void *argument = va_arg(args, void *);
  va_end(args);
  if (!real_ioctl) real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");

  if (IsPtySlave(fd)) {
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    switch (request) {
      case TIOCMGET:
        *(int *)argument = lines;
        return 0;
      case TIOCMSET:
        lines = (lines & ~outputs) | (*(int *)argument & outputs);
        return 0;
      case TIOCMBIS:
        lines |= *(int *)argument & outputs;
        return 0;
      case TIOCMBIC:
        lines &= ~(*(int *)argument & outputs);
        return 0;
      case TIOCMIWAIT:
        /* The lines never change: the caller falls back to polling. */
        errno = EINVAL;
        return -1;
      case TIOCGICOUNT:
        memset(argument, 0, sizeof(struct serial_icounter_struct));
        return 0;
      default:
        break;
    }
  }
  return real_ioctl(fd, request, argument);
}
