/* LD_PRELOAD shim for programs that drive a serial port the tests give them as the slave of a
 * pseudo-terminal (Wine, the device server): gives it the modem lines a serial port has, so that
 * comm calls (GetCommModemStatus, WaitCommEvent, the DTR and RTS settings, RFC 2217's requests)
 * work on it. CTS, DSR and RLSD are on; DTR and RTS follow what the program sets. A pty also has
 * no frame of its own (always 8 bits, no parity): the frame asked for is kept and read back, and
 * each setting is written to the file PTY_SHIM_LOG names ("cflag ospeed" in octal and decimal),
 * for the test to see what the port was told. Every other descriptor and request goes to the
 * real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

static int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
static const tcflag_t frameBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
static tcflag_t frame;
static int frameSet;

/* The kernel's settings with rates of their own (<asm/termbits.h> clashes with <termios.h>). Its
 * older termios starts with the same four flag words. */
struct termios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};

static tcflag_t* ControlFlags(void* settings) {
  return &((struct termios2*)settings)->c_cflag;
}

static void LogSetting(unsigned long request, void* settings) {
  const char* path = getenv("PTY_SHIM_LOG");
  if (!path) return;
  FILE* log = fopen(path, "a");
  if (!log) return;
  speed_t rate = 0;
  if (request == TCSETS2 || request == TCSETSW2 || request == TCSETSF2) {
    rate = ((struct termios2*)settings)->c_ospeed;
  }
  fprintf(log, "%o %u\n", (unsigned)*ControlFlags(settings), (unsigned)rate);
  fclose(log);
}

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
  void* argument = va_arg(args, void*);
  va_end(args);
  if (!real_ioctl) real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");

  if (IsPtySlave(fd)) {
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    switch (request) {
      case TIOCMGET:
        *(int*)argument = lines;
        return 0;
      case TIOCMSET:
        lines = (lines & ~outputs) | (*(int*)argument & outputs);
        return 0;
      case TIOCMBIS:
        lines |= *(int*)argument & outputs;
        return 0;
      case TIOCMBIC:
        lines &= ~(*(int*)argument & outputs);
        return 0;
      case TIOCMIWAIT:
        /* The lines never change: the caller falls back to polling. */
        errno = EINVAL;
        return -1;
      case TCSETS:
      case TCSETSW:
      case TCSETSF:
      case TCSETS2:
      case TCSETSW2:
      case TCSETSF2:
        frame = *ControlFlags(argument) & frameBits;
        frameSet = 1;
        LogSetting(request, argument);
        break;
      case TCGETS:
      case TCGETS2: {
        int result = real_ioctl(fd, request, argument);
        if (result == 0 && frameSet) {
          *ControlFlags(argument) = (*ControlFlags(argument) & ~frameBits) | frame;
        }
        return result;
      }
      case TIOCGICOUNT:
        memset(argument, 0, sizeof(struct serial_icounter_struct));
        return 0;
      default:
        break;
    }
  }
  return real_ioctl(fd, request, argument);
}
