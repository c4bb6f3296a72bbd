#pragma once

#include <cstdint>

#include "core/local_text.h"

// Transfers count bytes in 32 bits: a larger file would go out, or be compared, as its size modulo
// 4 GiB, so it is refused before anything is sent or received.
constexpr uint64_t kLargestFileSize = 0xFFFFFFFFu;

inline const char* FileTooLargeText() {
  return LocalText("plik za duży (4 GB lub więcej)", "file too large (4 GB or more)");
}
