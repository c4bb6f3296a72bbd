#include "platform/directory_claim.h"

#include <windows.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace platform {

namespace {

// The directory as the system names it at the end of every link, drive substitution and short
// name, so that two ways to the same folder meet the same claim. The current directory's own
// spelling when the system cannot tell.
std::wstring CanonicalCurrentDirectory() {
  std::wstring path;
  HANDLE directory = CreateFileW(L".", FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (directory != INVALID_HANDLE_VALUE) {
    std::vector<wchar_t> name(32768);
    const DWORD length =
        GetFinalPathNameByHandleW(directory, name.data(), static_cast<DWORD>(name.size()), 0);
    if (length > 0 && length < name.size()) path.assign(name.data(), length);
    CloseHandle(directory);
  }
  if (path.empty()) {
    std::vector<wchar_t> name(32768);
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(name.size()), name.data());
    if (length > 0 && length < name.size()) path.assign(name.data(), length);
  }
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return path;
}

}  // namespace

// A named mutex of the whole machine (every session) keyed by the folder's path with its case
// folded, as the file system compares names. The object lives while a handle to it is open and
// the system closes the handles of a process that ends, however it ends; only its existence is
// asked, never its ownership. A lock file would have to be a new entry in the folder, and the
// folder's listing goes to the machine.
DirectoryClaim::Result DirectoryClaim::ClaimCurrentDirectory(
    std::unique_ptr<DirectoryClaim>* claim) {
  std::wstring path = CanonicalCurrentDirectory();
  if (path.empty()) return Result::kFailed;
  CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
  // A path may be longer than an object name may be: the name carries its 64-bit FNV-1a hash.
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t unit : path) {
    hash = (hash ^ static_cast<uint16_t>(unit)) * 1099511628211ull;
  }
  wchar_t name[64];
  wsprintfW(name, L"Global\\tazo-start-directory-%08lx%08lx",
            static_cast<unsigned long>(hash >> 32), static_cast<unsigned long>(hash & 0xFFFFFFFFu));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
  if (!mutex) {
    // One made by another user's program cannot be opened, and is there all the same.
    return GetLastError() == ERROR_ACCESS_DENIED ? Result::kHeldElsewhere : Result::kFailed;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return Result::kHeldElsewhere;
  }
  claim->reset(new (std::nothrow) DirectoryClaim(reinterpret_cast<intptr_t>(mutex)));
  if (!*claim) {
    CloseHandle(mutex);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return Result::kFailed;
  }
  return Result::kClaimed;
}

DirectoryClaim::~DirectoryClaim() {
  CloseHandle(reinterpret_cast<HANDLE>(native_));
}

}  // namespace platform
