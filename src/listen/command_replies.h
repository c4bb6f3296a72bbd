#pragma once

#include <cstddef>

void AnswerSendFile();
void AnswerSendDirectory();
void AnswerChangeDirectory();
// Copies the part of the path after its last "\", "/" or ":" into the destination field.
void FileNamePart(const char* path, char* destination, size_t width);
