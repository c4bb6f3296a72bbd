#include "platform/files.h"

#include <windows.h>
// The system header names its own call ReplaceFile; ours is the one in files.h.
#undef ReplaceFile

#include <cstring>
#include <new>

#include "platform/win32/device_names.h"
#include "platform/win32/wide_text.h"

namespace platform {

const char kPathSeparator = '\\';

namespace {

struct ModeFlags {
  DWORD access;
  DWORD sharing;
  DWORD creation;
};

ModeFlags FlagsOf(FileMode mode) {
  constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
  switch (mode) {
    case FileMode::kReadShared:
      return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
    case FileMode::kReadHoldingNobody:
      return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING};
    case FileMode::kReadExclusive:
      return {GENERIC_READ, 0, OPEN_EXISTING};
    case FileMode::kReadWriteExisting:
      return {kReadWrite, 0, OPEN_EXISTING};
    case FileMode::kReadWriteCreate:
      return {kReadWrite, 0, CREATE_ALWAYS};
    case FileMode::kReadWriteNew:
      return {kReadWrite, 0, CREATE_NEW};
    case FileMode::kWriteOpenAlways:
      return {GENERIC_WRITE, 0, OPEN_ALWAYS};
    case FileMode::kWriteCreate:
      return {GENERIC_WRITE, 0, CREATE_ALWAYS};
  }
  return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
}

HANDLE AsHandle(intptr_t native) {
  return reinterpret_cast<HANDLE>(native);
}

const intptr_t kClosed = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

// A path the core holds (Windows-1250) as the wide calls take it.
bool WidePath(const char* path, std::wstring* wide) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return Cp1250ToWideStrict(path, wide);
}

// Names such as "COM1" or "NUL" in any folder are devices, not files: their full path is in the
// device namespace. The system's own view, beside the rule of device_names.h.
bool NamesDevice(const std::wstring& path) {
  wchar_t full[MAX_PATH + 8];
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH + 8, full, nullptr);
  return length > 4 && length < MAX_PATH + 8 && std::wcsncmp(full, L"\\\\.\\", 4) == 0;
}

// An existing entry that is a directory or a device is not a file; a missing one is for the open
// to create or refuse.
bool NamesNonFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

// Runs `step` under `lock`; the system error it left survives the unlock.
template <typename Step>
bool Locked(std::mutex& lock, Step step) {
  bool done;
  DWORD error;
  {
    std::lock_guard<std::mutex> hold(lock);
    done = step();
    error = GetLastError();
  }
  SetLastError(error);
  return done;
}

bool NarrowInto(const wchar_t* wide, char* buffer, size_t size) {
  std::string narrow;
  if (!WideToCp1250(wide, &narrow)) return false;
  if (narrow.size() + 1 > size) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
  }
  std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
  return true;
}

}  // namespace

std::shared_ptr<File> File::Open(const char* path, FileMode mode) {
  std::wstring wide;
  if (!WidePath(path, &wide)) return nullptr;
  // Refused before CreateFile: opening a port alone raises its modem lines.
  if (NamesWindowsDevice(path) || NamesDevice(wide) || NamesNonFile(wide)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  const ModeFlags flags = FlagsOf(mode);
  HANDLE handle = CreateFileW(wide.c_str(), flags.access, flags.sharing, nullptr, flags.creation,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // Only a file on disk is a file: nothing else is read, written or waited for.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  File* file = new (std::nothrow) File(reinterpret_cast<intptr_t>(handle));
  if (!file) {
    CloseHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return std::shared_ptr<File>(file);
}

File::File(intptr_t native) : native_(native) {}

File::~File() {
  Close();
}

bool File::Read(void* buffer, uint32_t size, uint32_t* done) {
  *done = 0;
  return Locked(lock_, [&] {
    if (native_ == kClosed) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    auto* bytes = static_cast<char*>(buffer);
    while (*done < size) {
      DWORD got = 0;
      if (!ReadFile(AsHandle(native_), bytes + *done, size - *done, &got, nullptr)) return false;
      if (got == 0) break;
      *done += got;
    }
    return true;
  });
}

bool File::Write(const void* buffer, uint32_t size, uint32_t* done) {
  *done = 0;
  return Locked(lock_, [&] {
    if (native_ == kClosed) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    while (*done < size) {
      DWORD put = 0;
      if (!WriteFile(AsHandle(native_), bytes + *done, size - *done, &put, nullptr)) return false;
      if (put == 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
      *done += put;
    }
    return true;
  });
}

bool File::Seek(uint64_t offset) {
  return Locked(lock_, [&] {
    if (native_ == kClosed) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(AsHandle(native_), to, nullptr, FILE_BEGIN) != 0;
  });
}

bool File::SeekToEnd() {
  return Locked(lock_, [&] {
    if (native_ == kClosed) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    LARGE_INTEGER none{};
    return SetFilePointerEx(AsHandle(native_), none, nullptr, FILE_END) != 0;
  });
}

bool File::Size(uint64_t* size) {
  return Locked(lock_, [&] {
    if (native_ == kClosed) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    LARGE_INTEGER found{};
    if (!GetFileSizeEx(AsHandle(native_), &found)) return false;
    *size = static_cast<uint64_t>(found.QuadPart);
    return true;
  });
}

void File::Close() {
  std::lock_guard<std::mutex> hold(lock_);
  if (native_ != kClosed) {
    CloseHandle(AsHandle(native_));
    native_ = kClosed;
  }
}

bool File::IsOpen() {
  std::lock_guard<std::mutex> hold(lock_);
  return native_ != kClosed;
}

bool DeleteFilePath(const char* path) {
  std::wstring wide;
  return WidePath(path, &wide) && DeleteFileW(wide.c_str()) != 0;
}

bool PathExists(const char* path) {
  std::wstring wide;
  return WidePath(path, &wide) && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReplaceFile(const char* from, const char* to) {
  std::wstring wideFrom;
  std::wstring wideTo;
  return WidePath(from, &wideFrom) && WidePath(to, &wideTo) &&
         MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

CurrentDirStatus ReadCurrentDir(char* buffer, size_t size) {
  wchar_t current[MAX_PATH + 1];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, current);
  if (length == 0) return CurrentDirStatus::kFailed;
  if (length > MAX_PATH) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return CurrentDirStatus::kTooLong;
  }
  // Exact or not at all: a folder spelt with a guessed character would be another folder.
  std::string narrow;
  if (!WideToCp1250(current, &narrow)) return CurrentDirStatus::kUnspellable;
  if (narrow.size() + 1 > size) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return CurrentDirStatus::kTooLong;
  }
  std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
  return CurrentDirStatus::kRead;
}

bool GetCurrentDir(char* buffer, size_t size) {
  return ReadCurrentDir(buffer, size) == CurrentDirStatus::kRead;
}

bool SetCurrentDir(const char* path) {
  std::wstring wide;
  return WidePath(path, &wide) && SetCurrentDirectoryW(wide.c_str()) != 0;
}

bool GetFullPath(const char* name, char* buffer, size_t size) {
  std::wstring wide;
  if (!WidePath(name, &wide)) return false;
  wchar_t full[MAX_PATH + 1];
  const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH + 1, full, nullptr);
  if (length == 0) return false;
  if (length > MAX_PATH) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
  }
  return NarrowInto(full, buffer, size);
}

namespace {

struct Search {
  HANDLE handle;
  WIN32_FIND_DATAW found;
  bool pending;  // `found` holds an entry not handed out yet
};

}  // namespace

DirectorySearch::~DirectorySearch() {
  Close();
}

bool DirectorySearch::Open(const char* directory) {
  Close();
  directory_ = directory && *directory ? directory : ".";
  std::wstring pattern;
  if (!Cp1250ToWideStrict(directory_.c_str(), &pattern)) return false;
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  Search* search = new (std::nothrow) Search{};
  if (!search) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  search->handle = FindFirstFileW(pattern.c_str(), &search->found);
  if (search->handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    delete search;
    SetLastError(error);
    return false;
  }
  search->pending = true;
  handle_ = search;
  return true;
}

bool DirectorySearch::Next(DirectoryEntry* entry) {
  Search* search = static_cast<Search*>(handle_);
  if (!search) return false;
  for (;;) {
    if (!search->pending && !FindNextFileW(search->handle, &search->found)) return false;
    search->pending = false;
    // A name that Windows-1250 cannot spell is left out rather than shown garbled.
    std::string name;
    if (!WideToCp1250(search->found.cFileName, &name)) continue;
    entry->name = name;
    entry->isDirectory = (search->found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry->size = entry->isDirectory ? 0
                                     : (static_cast<uint64_t>(search->found.nFileSizeHigh) << 32) |
                                           search->found.nFileSizeLow;
    return true;
  }
}

void DirectorySearch::Close() {
  Search* search = static_cast<Search*>(handle_);
  if (search) {
    FindClose(search->handle);
    delete search;
    handle_ = nullptr;
  }
}

}  // namespace platform
