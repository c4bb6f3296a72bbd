#include "machine/line.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

namespace machine {
namespace {

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool RateConstant(int baud, speed_t* speed) {
  static const struct {
    int baud;
    speed_t speed;
  } kRates[] = {{110, B110},       {300, B300},      {600, B600},       {1200, B1200},
                {2400, B2400},     {4800, B4800},    {9600, B9600},     {19200, B19200},
                {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
                {460800, B460800}, {921600, B921600}};
  for (const auto& rate : kRates) {
    if (rate.baud == baud) {
      *speed = rate.speed;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseFrame(const std::string& text, DeviceSettings* settings) {
  if (text.size() != 3 || text[0] < '5' || text[0] > '8') return false;
  const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
  if (std::strchr("NEOMS", parity) == nullptr || (text[2] != '1' && text[2] != '2')) return false;
  settings->dataBits = text[0] - '0';
  settings->parity = parity;
  settings->stopBits = text[2] - '0';
  return true;
}

Line::~Line() {
  if (restoreSettings_) {
    tcsetattr(fd_, TCSANOW, &original_);
    ioctl(fd_, TIOCNXCL);
  }
  if (!linkPath_.empty()) {
    // Only our own link goes: another machine may have taken the name since.
    char target[PATH_MAX];
    const ssize_t length = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<size_t>(length)) == devicePath_) {
      unlink(linkPath_.c_str());
    }
  }
  if (watchFd_ >= 0) close(watchFd_);
  if (fd_ >= 0) close(fd_);
}

bool Line::OpenPseudoTerminal(const std::string& linkPath, std::string* error) {
  int device = -1;
  char name[256];
  if (openpty(&fd_, &device, name, nullptr, nullptr) != 0) {
    *error = SystemError("making a pseudo-terminal");
    return false;
  }
  pseudo_ = true;
  devicePath_ = name;
  // Raw from the start: the program finds these settings when it opens its end and puts them
  // back when it closes it, so nothing it is sent is ever echoed or changed on the way.
  termios raw{};
  tcgetattr(device, &raw);
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  tcsetattr(device, TCSANOW, &raw);
  // Only the program holds the device end open, so its opens and closes can be watched.
  close(device);
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  fcntl(fd_, F_SETFD, FD_CLOEXEC);
  watchFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watchFd_ < 0 || inotify_add_watch(watchFd_, name, IN_OPEN | IN_CLOSE) < 0) {
    *error = SystemError("watching " + devicePath_);
    return false;
  }
  struct stat existing {};
  if (lstat(linkPath.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      *error = linkPath + " exists and is not a symbolic link: left alone";
      return false;
    }
    unlink(linkPath.c_str());
  }
  if (symlink(name, linkPath.c_str()) != 0) {
    *error = SystemError("linking " + linkPath);
    return false;
  }
  linkPath_ = linkPath;
  return true;
}

bool Line::OpenDevice(const std::string& path, const DeviceSettings& settings, std::string* error) {
  speed_t speed = 0;
  if (!RateConstant(settings.baud, &speed)) {
    *error = "unsupported rate " + std::to_string(settings.baud);
    return false;
  }
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    *error = SystemError("opening " + path);
    return false;
  }
  devicePath_ = path;
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    *error = path + " is in use by another program";
    return false;
  }
  if (tcgetattr(fd_, &original_) != 0) {
    *error = SystemError(path + " is no serial port");
    return false;
  }
  termios line = original_;
  cfmakeraw(&line);
  cfsetispeed(&line, speed);
  cfsetospeed(&line, speed);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  line.c_cflag |= CLOCAL | CREAD | HUPCL;
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  line.c_cflag |= kSizes[settings.dataBits - 5];
  if (settings.parity != 'N') {
    line.c_cflag |= PARENB;
    line.c_iflag |= INPCK;
  }
  if (settings.parity == 'O' || settings.parity == 'M') line.c_cflag |= PARODD;
  if (settings.parity == 'M' || settings.parity == 'S') line.c_cflag |= CMSPAR;
  if (settings.stopBits == 2) line.c_cflag |= CSTOPB;
  line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (settings.flow == "rtscts") line.c_cflag |= CRTSCTS;
  if (settings.flow == "xonxoff") line.c_iflag |= IXON | IXOFF;
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 0;
  if (tcsetattr(fd_, TCSANOW, &line) != 0) {
    *error = SystemError("setting " + path);
    return false;
  }
  restoreSettings_ = true;
  ioctl(fd_, TIOCEXCL);
  tcflush(fd_, TCIOFLUSH);
  return true;
}

bool Line::TakeNotices(const std::function<void()>& beforeClose) {
  if (watchFd_ < 0) return false;
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t length = read(watchFd_, buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t at = 0; at < length;) {
      const auto* notice = reinterpret_cast<const inotify_event*>(buffer + at);
      if (notice->mask & IN_OPEN) ++peerOpens_;
      if (notice->mask & IN_CLOSE) {
        if (beforeClose) beforeClose();
        ++peerCloses_;
      }
      changed = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + notice->len);
    }
  }
  return changed;
}

bool Line::ReadAvailable(std::string* bytes) {
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(fd_, buffer, sizeof buffer);
    if (count > 0) {
      bytes->append(buffer, static_cast<size_t>(count));
      continue;
    }
    if (count == 0 || errno == EAGAIN || errno == EINTR) return true;
    // A pseudo-terminal whose other end nobody holds reads as an I/O error: nothing there.
    return pseudo_ && errno == EIO;
  }
}

long Line::WriteSome(const char* bytes, size_t count) {
  const ssize_t written = write(fd_, bytes, count);
  if (written >= 0) return written;
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

int Line::Unsent() const {
  int queued = 0;
  if (pseudo_ || ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return queued;
}

}  // namespace machine
