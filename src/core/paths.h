#pragma once

#include <cstddef>

#include "core/text_field.h"
#include "platform/files.h"

#include <cstring>

// Joins directory, the platform's separator and name into a field. Returns false, with the field
// holding the cut text, when the whole path does not fit.
inline bool JoinPathInto(char* field, size_t width, const char* directory, const char* name) {
  CopyIntoField(field, width, directory);
  const char separator[2] = {platform::kPathSeparator, 0};
  AppendToField(field, width, separator);
  AppendToField(field, width, name);
  return std::strlen(directory) + 1 + std::strlen(name) < width;
}

template <size_t N>
bool JoinPath(char (&field)[N], const char* directory, const char* name) {
  return JoinPathInto(field, N, directory, name);
}

// True when `path` names the entry `name` of `directory`. The separators between them do not
// count: a directory that already ends in one (a root) gets a second one from JoinPath. With
// `foldCase`, ASCII letters compare without regard to case, as on a platform with "\" paths.
inline bool IsPathOfEntry(const char* path, const char* directory, const char* name,
                          bool foldCase) {
  auto same = [foldCase](const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      if (foldCase ? FoldAscii(a[i]) != FoldAscii(b[i]) : a[i] != b[i]) return false;
    }
    return true;
  };
  auto isSeparator = [](char c) { return c == platform::kPathSeparator; };
  size_t pathLength = std::strlen(path);
  const size_t nameLength = std::strlen(name);
  if (nameLength == 0 || nameLength >= pathLength) return false;
  if (!same(path + pathLength - nameLength, name, nameLength)) return false;
  pathLength -= nameLength;
  if (!isSeparator(path[pathLength - 1])) return false;
  while (pathLength > 0 && isSeparator(path[pathLength - 1])) --pathLength;
  size_t directoryLength = std::strlen(directory);
  while (directoryLength > 0 && isSeparator(directory[directoryLength - 1])) --directoryLength;
  return pathLength == directoryLength && same(path, directory, directoryLength);
}
