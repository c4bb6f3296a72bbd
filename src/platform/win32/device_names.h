#pragma once

#include <cstring>

// Windows opens a device, not a file, for the reserved names ("COM1", "NUL", "LPT1", "CONIN$") in
// any folder and with any extension ("C:\dir\com1.nc", "nul.txt", "COM1 .txt", "aux:x"), and for
// paths in the device namespace ("\\.\COM12", "\\?\...", "\??\..."). Opening one of those can
// raise a port's modem lines or wait on it, so such a path is told apart from its text alone,
// before anything is opened. Plain text, no system calls: the rule is tested on every platform.

namespace platform {

namespace device_names {

inline bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

inline char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool SameName(const char* text, size_t length, const char* name) {
  if (std::strlen(name) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (Upper(text[i]) != name[i]) return false;
  }
  return true;
}

// "\\.\", "\\?\" and "\??\", with either slash.
inline bool InDeviceNamespace(const char* path) {
  if (!IsSeparator(path[0])) return false;
  if (IsSeparator(path[1]) && (path[2] == '.' || path[2] == '?') && IsSeparator(path[3])) {
    return true;
  }
  return path[1] == '?' && path[2] == '?' && IsSeparator(path[3]);
}

}  // namespace device_names

inline bool NamesWindowsDevice(const char* path) {
  using namespace device_names;
  if (!path) return false;
  if (InDeviceNamespace(path)) return true;
  // The last part of the path; a drive ("C:COM1") is not part of the name.
  const char* name = path;
  for (const char* at = path; *at; ++at) {
    if (IsSeparator(*at)) name = at + 1;
  }
  if (name == path && name[0] != 0 && name[1] == ':') name += 2;
  // The name proper ends at its first dot or colon; spaces before that end do not count.
  size_t length = std::strcspn(name, ".:");
  while (length > 0 && name[length - 1] == ' ') --length;
  static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* reserved : kReserved) {
    if (SameName(name, length, reserved)) return true;
  }
  // COM1 to COM9 and LPT1 to LPT9; COM10 and above are devices only in the device namespace. The
  // superscript digits Windows takes as well ("COM¹") have no Windows-1250 form, so no path of
  // the program can hold them.
  return length == 4 && (SameName(name, 3, "COM") || SameName(name, 3, "LPT")) && name[3] >= '1' &&
         name[3] <= '9';
}

}  // namespace platform
