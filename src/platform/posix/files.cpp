#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform {

const char kPathSeparator = '/';

namespace {

struct ModeFlags {
  int openFlags;
  int lock;  // flock mode that stands for the Windows sharing mode
};

ModeFlags FlagsOf(FileMode mode) {
  switch (mode) {
    case FileMode::kReadShared:
      return {O_RDONLY, LOCK_SH};
    case FileMode::kReadHoldingNobody:
      return {O_RDONLY, 0};
    case FileMode::kReadExclusive:
      return {O_RDONLY, LOCK_EX};
    case FileMode::kReadWriteExisting:
      return {O_RDWR, LOCK_EX};
    case FileMode::kReadWriteCreate:
      return {O_RDWR | O_CREAT, LOCK_EX};
    case FileMode::kReadWriteNew:
      return {O_RDWR | O_CREAT | O_EXCL, LOCK_EX};
    case FileMode::kWriteOpenAlways:
    case FileMode::kWriteCreate:  // emptied once held, see Truncates
      return {O_WRONLY | O_CREAT, LOCK_EX};
  }
  return {O_RDONLY, LOCK_SH};
}

bool Truncates(FileMode mode) {
  return mode == FileMode::kReadWriteCreate || mode == FileMode::kWriteCreate;
}

}  // namespace

std::shared_ptr<File> File::Open(const char* path, FileMode mode) {
  if (!path || !*path) {
    errno = ENOENT;
    return nullptr;
  }
  ModeFlags flags = FlagsOf(mode);
  int fd = ::open(path, flags.openFlags | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return nullptr;
  }
  // The sharing mode: a file held without sharing cannot be opened a second time.
  if (flags.lock != 0 && flock(fd, flags.lock | LOCK_NB) != 0) {
    int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  // Emptied only once it is ours, so that a refused open leaves the holder's content alone.
  if (Truncates(mode) && ftruncate(fd, 0) != 0) {
    int error = errno;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  return std::shared_ptr<File>(new File(fd));
}

File::File(intptr_t native) : native_(native) {}

File::~File() {
  Close();
}

bool File::Read(void* buffer, uint32_t size, uint32_t* done) {
  std::lock_guard<std::mutex> hold(lock_);
  *done = 0;
  if (native_ < 0) {
    errno = EBADF;
    return false;
  }
  auto* bytes = static_cast<char*>(buffer);
  while (*done < size) {
    ssize_t got = ::read(static_cast<int>(native_), bytes + *done, size - *done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    *done += static_cast<uint32_t>(got);
  }
  return true;
}

bool File::Write(const void* buffer, uint32_t size, uint32_t* done) {
  std::lock_guard<std::mutex> hold(lock_);
  *done = 0;
  if (native_ < 0) {
    errno = EBADF;
    return false;
  }
  const auto* bytes = static_cast<const char*>(buffer);
  while (*done < size) {
    ssize_t put = ::write(static_cast<int>(native_), bytes + *done, size - *done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    *done += static_cast<uint32_t>(put);
  }
  return true;
}

bool File::Seek(uint64_t offset) {
  std::lock_guard<std::mutex> hold(lock_);
  if (native_ < 0) {
    errno = EBADF;
    return false;
  }
  return lseek(static_cast<int>(native_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::SeekToEnd() {
  std::lock_guard<std::mutex> hold(lock_);
  if (native_ < 0) {
    errno = EBADF;
    return false;
  }
  return lseek(static_cast<int>(native_), 0, SEEK_END) >= 0;
}

bool File::Size(uint64_t* size) {
  std::lock_guard<std::mutex> hold(lock_);
  if (native_ < 0) {
    errno = EBADF;
    return false;
  }
  struct stat info {};
  if (fstat(static_cast<int>(native_), &info) != 0) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

void File::Close() {
  std::lock_guard<std::mutex> hold(lock_);
  if (native_ >= 0) {
    ::close(static_cast<int>(native_));
    native_ = -1;
  }
}

bool File::IsOpen() {
  std::lock_guard<std::mutex> hold(lock_);
  return native_ >= 0;
}

bool DeleteFilePath(const char* path) {
  return path && *path && ::unlink(path) == 0;
}

bool PathExists(const char* path) {
  struct stat info {};
  return path && *path && ::lstat(path, &info) == 0;
}

bool GetCurrentDir(char* buffer, size_t size) {
  return ::getcwd(buffer, size) != nullptr;
}

bool SetCurrentDir(const char* path) {
  if (!path || !*path) {
    errno = ENOENT;
    return false;
  }
  return ::chdir(path) == 0;
}

bool GetFullPath(const char* name, char* buffer, size_t size) {
  std::string full;
  if (name[0] == '/') {
    full = name;
  } else {
    char current[PATH_MAX];
    if (!::getcwd(current, sizeof current)) return false;
    full = current;
    if (full.empty() || full.back() != '/') full += '/';
    full += name;
  }
  if (full.size() + 1 > size) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(buffer, full.c_str(), full.size() + 1);
  return true;
}

DirectorySearch::~DirectorySearch() {
  Close();
}

bool DirectorySearch::Open(const char* directory) {
  Close();
  DIR* stream = ::opendir(directory && *directory ? directory : ".");
  if (!stream) return false;
  handle_ = stream;
  directory_ = directory && *directory ? directory : ".";
  return true;
}

bool DirectorySearch::Next(DirectoryEntry* entry) {
  auto* stream = static_cast<DIR*>(handle_);
  if (!stream) return false;
  for (;;) {
    errno = 0;
    dirent* found = ::readdir(stream);
    if (!found) return false;  // the end, or an entry that cannot be read: the search ends
    std::string path = directory_ + "/" + found->d_name;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && ::lstat(path.c_str(), &info) != 0) continue;
    entry->name = found->d_name;
    entry->isDirectory = S_ISDIR(info.st_mode);
    entry->size = entry->isDirectory ? 0 : static_cast<uint64_t>(info.st_size);
    return true;
  }
}

void DirectorySearch::Close() {
  if (handle_) {
    ::closedir(static_cast<DIR*>(handle_));
    handle_ = nullptr;
  }
}

}  // namespace platform
