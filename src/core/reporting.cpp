#include "core/reporting.h"
// Placeholder until the reporting is written.
void ErrorReporter(const char*) {}
void EventReporter(const char*) {}
void FlushErrorLog(int) {}
