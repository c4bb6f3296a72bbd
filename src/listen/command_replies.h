#pragma once

#include <cstddef>

#include "transfer/engine_run.h"

// The answers to a command file, run on the listening engine's thread after its pause. Each ends
// that run first and does nothing when someone else has ended it already.
void AnswerSendFile(run::RunId id);
void AnswerSendDirectory(run::RunId id);
void AnswerChangeDirectory(run::RunId id);
// Copies the part of the path after its last "\", "/" or ":" into the destination field.
void FileNamePart(const char* path, char* destination, size_t width);
