#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "frontend/headless/headless_app.h"

// The script language of the headless driver: one user action per line (see README.md,
// "Headless driver").
struct DriverOptions {
  // Texts are printed, and script texts read, as UTF-8 instead of Windows-1250.
  bool utf8 = false;
};

// Carries out `script` on a started program, printing to `out`. Returns 0 when every line was
// carried out, 1 at the first line that failed (its message printed with the line number).
int RunHeadlessScript(HeadlessApp& program, std::istream& script, std::ostream& out,
                      const DriverOptions& options);

// Script texts: "\r", "\n", "\t", "\\" and "\xHH" stand for their bytes.
std::string UnescapeScriptText(const std::string& text);
// A text for printing: CR, LF, tab and backslash escaped as above, other control bytes as "\xHH".
std::string EscapeForPrint(const std::string& text);
