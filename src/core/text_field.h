#pragma once

#include <cstddef>
#include <cstring>

// Fixed-width, zero-terminated text fields: every write is cut to the field, so nothing is ever
// written or read past one.

// Length of the text in a field of `width` bytes; a field without terminator counts as full.
inline size_t FieldLength(const char* field, size_t width) {
  const void* end = std::memchr(field, 0, width);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - field) : width;
}

// Copies `source` into `field`, cut to width - 1 bytes; returns the bytes copied.
inline size_t CopyIntoField(char* field, size_t width, const char* source) {
  if (width == 0) return 0;
  size_t length = source ? std::strlen(source) : 0;
  if (length > width - 1) length = width - 1;
  if (length) std::memmove(field, source, length);
  field[length] = 0;
  return length;
}

// Appends `source` to the text already in `field`, cut to the field.
inline size_t AppendToField(char* field, size_t width, const char* source) {
  size_t used = FieldLength(field, width);
  if (used >= width) {
    field[width - 1] = 0;
    used = width - 1;
  }
  return used + CopyIntoField(field + used, width - used, source);
}

// ASCII letters A to Z folded to lower case; every other byte, a Polish letter too, as it is.
inline char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

template <size_t N>
size_t CopyText(char (&field)[N], const char* source) {
  return CopyIntoField(field, N, source);
}

template <size_t N>
size_t AppendText(char (&field)[N], const char* source) {
  return AppendToField(field, N, source);
}
