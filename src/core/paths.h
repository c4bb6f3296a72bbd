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
