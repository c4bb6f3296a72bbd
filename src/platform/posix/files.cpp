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

#include "core/code_page.h"

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

// Paths of the program are Windows-1250; the file system spells them in UTF-8. A byte that
// Windows-1250 leaves undefined names no file: such a path is refused rather than opened under a
// garbled name.
bool NativePath(const char* path, std::string* native) {
  if (!path || !*path) {
    errno = ENOENT;
    return false;
  }
  for (const char* at = path; *at; ++at) {
    const auto byte = static_cast<unsigned char>(*at);
    if (byte == 0x81 || byte == 0x83 || byte == 0x88 || byte == 0x90 || byte == 0x98) {
      errno = EILSEQ;
      return false;
    }
  }
  *native = Cp1250ToUtf8(path);
  return true;
}

// A name read back from the file system, in Windows-1250; false when it has no such form.
bool ProgramText(const char* native, std::string* text) {
  if (Utf8ToCp1250(native, text)) return true;
  errno = EILSEQ;
  return false;
}

// Copies `text` with its terminator into `buffer`; false when it does not fit.
bool CopyOut(const std::string& text, char* buffer, size_t size) {
  if (text.size() + 1 > size) {
    errno = ERANGE;
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

std::shared_ptr<File> File::Open(const char* path, FileMode mode) {
  std::string native;
  if (!NativePath(path, &native)) return nullptr;
  // What is not a regular file is refused before it is opened: opening a serial device alone
  // raises its modem lines, and opening a pipe lets its writer go on. A missing file is for the
  // open to create or refuse.
  struct stat before {};
  if (::stat(native.c_str(), &before) == 0) {
    if (!S_ISREG(before.st_mode)) {
      errno = S_ISDIR(before.st_mode) ? EISDIR : EINVAL;
      return nullptr;
    }
  } else if (errno != ENOENT) {
    return nullptr;
  }
  ModeFlags flags = FlagsOf(mode);
  // Non-blocking, so that what takes the place of the file checked above cannot hang the caller;
  // the opened handle is checked again.
  int fd = ::open(native.c_str(), flags.openFlags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    if (errno == ENXIO || errno == EWOULDBLOCK) errno = EINVAL;  // a pipe without a reader
    return nullptr;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  const int statusFlags = fcntl(fd, F_GETFL);
  if (statusFlags >= 0) fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK);
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
  std::string native;
  return NativePath(path, &native) && ::unlink(native.c_str()) == 0;
}

bool ReplaceFile(const char* from, const char* to) {
  std::string nativeFrom;
  std::string nativeTo;
  if (!NativePath(from, &nativeFrom) || !NativePath(to, &nativeTo)) return false;
  // A rename ignores locks; Windows refuses to replace a file that someone holds, so the target is
  // held here for the moment of the rename and a held one is left alone.
  std::shared_ptr<File> target = File::Open(to, FileMode::kWriteOpenAlways);
  if (!target) return false;
  const bool replaced = ::rename(nativeFrom.c_str(), nativeTo.c_str()) == 0;
  const int error = errno;
  target->Close();
  errno = error;
  return replaced;
}

bool PathExists(const char* path) {
  std::string native;
  struct stat info {};
  return NativePath(path, &native) && ::lstat(native.c_str(), &info) == 0;
}

CurrentDirStatus ReadCurrentDir(char* buffer, size_t size) {
  char native[PATH_MAX];
  if (::getcwd(native, sizeof native) == nullptr) {
    return errno == ERANGE || errno == ENAMETOOLONG ? CurrentDirStatus::kTooLong
                                                    : CurrentDirStatus::kFailed;
  }
  std::string text;
  if (!ProgramText(native, &text)) return CurrentDirStatus::kUnspellable;
  if (!CopyOut(text, buffer, size)) return CurrentDirStatus::kTooLong;
  return CurrentDirStatus::kRead;
}

bool GetCurrentDir(char* buffer, size_t size) {
  return ReadCurrentDir(buffer, size) == CurrentDirStatus::kRead;
}

bool SetCurrentDir(const char* path) {
  std::string native;
  return NativePath(path, &native) && ::chdir(native.c_str()) == 0;
}

bool GetFullPath(const char* name, char* buffer, size_t size) {
  std::string full;
  if (name[0] == '/') {
    full = name;
  } else {
    char current[PATH_MAX];
    if (!GetCurrentDir(current, sizeof current)) return false;
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
  std::string native = ".";
  if (directory && *directory && !NativePath(directory, &native)) return false;
  DIR* stream = ::opendir(native.c_str());
  if (!stream) return false;
  handle_ = stream;
  directory_ = native;
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
    // A name Windows-1250 cannot spell is listed with "?" in its place rather than left out.
    entry->name = Utf8ToCp1250Spelled(found->d_name);
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
