#include "machine/disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace machine {
namespace {

std::string NotAFile(mode_t mode) {
  const char* kind = S_ISDIR(mode)    ? "a directory"
                     : S_ISFIFO(mode) ? "a FIFO"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "something";
  return std::string(kind) + ", not a regular file";
}

// Why `info` is not a file the machine reads, or empty when it is one.
std::string Refusal(const struct stat& info) {
  if (!S_ISREG(info.st_mode)) return NotAFile(info.st_mode);
  if (static_cast<unsigned long long>(info.st_size) > kLoadLimitBytes) {
    return std::to_string(info.st_size) + " bytes, more than the limit of " + LoadLimitText();
  }
  return "";
}

std::string Failure(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::string LoadLimitText() {
  return std::to_string(kLoadLimitBytes >> 20) + " MiB";
}

bool ReadRegularFile(const std::string& path, std::string* bytes, std::string* error) {
  // Looked at before the open, which alone may block on a FIFO or act on a device ...
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  *error = Refusal(info);
  if (!error->empty()) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = Failure("opening");
    return false;
  }
  // ... and again on what was opened, which may have been put in its place meanwhile.
  if (fstat(fd, &info) != 0) {
    *error = Failure("looking at it");
  } else {
    *error = Refusal(info);
  }
  std::string content;
  if (error->empty()) content.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  while (error->empty()) {
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      *error = Failure("reading");
    } else if (count == 0) {
      break;
    } else if (content.size() + static_cast<size_t>(count) > kLoadLimitBytes) {
      *error = "grew past the limit of " + LoadLimitText() + " while being read";
    } else {
      content.append(buffer, static_cast<size_t>(count));
    }
  }
  close(fd);
  if (!error->empty()) return false;
  bytes->swap(content);
  return true;
}

bool WriteRegularFile(const std::string& path, const std::string& bytes, std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    *error = NotAFile(info.st_mode);
    return false;
  }
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = Failure("opening");
    return false;
  }
  error->clear();
  if (fstat(fd, &info) != 0) {
    *error = Failure("looking at it");
  } else if (!S_ISREG(info.st_mode)) {
    *error = NotAFile(info.st_mode);
  }
  for (size_t done = 0; error->empty() && done < bytes.size();) {
    const ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      *error = Failure("writing");
    } else {
      done += static_cast<size_t>(count);
    }
  }
  if (close(fd) != 0 && error->empty()) *error = Failure("closing");
  return error->empty();
}

}  // namespace machine
