#pragma once

#include <string>

#include "listen/request_report.h"

// What the operator of an unattended service reads: one line each on standard output (journald
// keeps them), UTF-8, in the stored language. Callable from any thread; each line is written whole.
namespace service_journal {

// Writes each line of `lines` (Windows-1250, CR LF or LF ended) as one UTF-8 line.
void WriteLines(const std::string& lines);
// "hh:mm:ss  request "COMMAND ARGUMENT": answer" for an answered request.
std::string FormatRequestLine(int hour, int minute, int second, const AnsweredRequest& request);

}  // namespace service_journal
