#pragma once

#include <functional>
#include <string>

// Failure and event lines in ErrorsBox, and the transfer log "log.txt". Callable from any thread.

// A failure: "hh:mm:ss  (C:code) text\r\n" with the calling thread's last system error code, and
// the two last-error fields. A text equal to the last one shown (case-sensitive) is swallowed.
void ErrorReporter(const char* text);
// A line event: "hh:mm:ss  name\r\n".
void EventReporter(const char* name);
// Appends the whole of ErrorsBox and the separator to "log.txt" in the start directory.
void FlushErrorLog(int skipWhileListening);
// Told each block once it is in "log.txt" (Windows-1250, without the separator), on the thread
// that wrote it. Set before any engine runs; an empty one stops it.
void SetLogBlockObserver(std::function<void(const std::string& block)> observer);
// Empties ErrorsBox and the two last-error fields, and forgets the last failure text with them,
// so that the same failure afterwards is shown again rather than swallowed.
void ClearErrorsShown();
