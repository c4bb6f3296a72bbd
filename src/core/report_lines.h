#pragma once

#include <cstddef>

// The lines of ErrorsBox, built in a buffer of their own. A text too long for the line is cut so
// that the line still ends in CR LF and fits, terminator included.
constexpr size_t kReportLineSize = 100;

// "hh:mm:ss  (C:code) text\r\n". Returns the length of the line.
size_t FormatFailureLine(int hour, int minute, int second, int code, const char* text,
                         char (&line)[kReportLineSize]);
// "hh:mm:ss  name\r\n". Returns the length of the line.
size_t FormatEventLine(int hour, int minute, int second, const char* name,
                       char (&line)[kReportLineSize]);
