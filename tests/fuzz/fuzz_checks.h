#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

// What the fuzz targets expect of the state they leave: a broken expectation aborts with its name,
// which libFuzzer reports as a crash with the input that caused it.

inline void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

template <size_t N>
void ExpectTerminated(const char (&field)[N], const char* name) {
  Check(std::memchr(field, 0, N) != nullptr, name);
}
