#pragma once

#include <cstddef>
#include <cstdint>

// "tazo.ini": 347 bytes of fixed layout in the start directory.
constexpr size_t kSettingsFileSize = 347;
constexpr const char* kSettingsFileName = "tazo.ini";

// Reads the file into the application state and builds the port configuration. Returns 1 when the
// file was read and its port settings accepted, 0 when the defaults were used.
int LoadSettings(const char* fileName);
// The language stored in the settings file at `path` (0 Polish, 1 English; Polish when the file
// cannot be read or holds neither), read without holding the file against a program that uses it.
uint8_t ReadStoredLanguage(const char* path);
// Takes the reply delay from DelayField and writes the whole file. Always returns 1.
int SaveSettings(const char* fileName);
