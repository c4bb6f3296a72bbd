#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// The platform's own path separator: "\" on Windows, "/" elsewhere.
extern const char kPathSeparator;

// The open modes the program uses, after the Windows access, sharing and creation modes. A file
// opened "exclusive" cannot be opened again (by this or another process) until it is closed;
// "shared for reading" admits other readers only.
enum class FileMode {
  kReadShared,         // read, shared for reading, must exist
  kReadHoldingNobody,  // read, shared for reading, writing and deleting, must exist
  kReadExclusive,      // read, not shared, must exist
  kReadWriteExisting,  // read and write, not shared, must exist
  kReadWriteCreate,    // read and write, not shared, always created anew (an existing file is
                       // emptied)
  kReadWriteNew,       // read and write, not shared, only when the file does not exist yet
  kWriteOpenAlways,    // write, not shared, created when missing, kept when present
  kWriteCreate,        // write, not shared, always created anew
};

// An open file. Thread-safe: Close may come from any thread while another one reads or writes;
// an operation after Close fails and never touches a reused descriptor.
class File {
 public:
  // Null on failure, with the system error left for LastSystemError(). Never blocks: what is not a
  // regular file (a pipe, a device, a directory, a Windows device name) is refused before it is
  // opened, and the opened handle is checked again.
  static std::shared_ptr<File> Open(const char* path, FileMode mode);

  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Return false on failure (system error set). `done` receives the bytes moved.
  bool Read(void* buffer, uint32_t size, uint32_t* done);
  bool Write(const void* buffer, uint32_t size, uint32_t* done);
  bool Seek(uint64_t offset);
  bool SeekToEnd();
  bool Size(uint64_t* size);
  void Close();
  bool IsOpen();

 private:
  explicit File(intptr_t native);
  std::mutex lock_;
  intptr_t native_;
};

bool DeleteFilePath(const char* path);
// Puts the file `from` in the place of `to` in one step, replacing a file of that name.
bool ReplaceFile(const char* from, const char* to);
bool PathExists(const char* path);

// Current directory of the process, at most `size` bytes with the terminator.
bool GetCurrentDir(char* buffer, size_t size);
// The same, telling why the directory cannot be had: its name has a character that Windows-1250
// cannot spell, its path does not fit, or the system failed (its error set).
enum class CurrentDirStatus { kRead, kUnspellable, kTooLong, kFailed };
CurrentDirStatus ReadCurrentDir(char* buffer, size_t size);
bool SetCurrentDir(const char* path);
// Full path of `name` taken relative to the current directory.
bool GetFullPath(const char* name, char* buffer, size_t size);

struct DirectoryEntry {
  std::string name;
  bool isDirectory = false;
  uint64_t size = 0;
};

// Enumerates the entries of one directory, "." and ".." included, in the system's order. Entries
// that cannot be examined are skipped; the search always ends.
class DirectorySearch {
 public:
  DirectorySearch() = default;
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;
  ~DirectorySearch();

  bool Open(const char* directory);
  bool Next(DirectoryEntry* entry);
  void Close();

 private:
  void* handle_ = nullptr;
  std::string directory_;
};

}  // namespace platform
