#pragma once

namespace platform {

// SIGTERM, SIGINT and SIGHUP (a logout, a kill, Ctrl-C) turned into a readable descriptor, so
// that a front end ends the program from its own event loop, the way a confirmed close does,
// instead of the process dying where it stands. The handler only writes one byte to a pipe.

// Starts watching; returns the descriptor that becomes readable when one of them arrives, or -1
// with the system error set. Calling it again while watching returns the same descriptor.
int WatchTerminationSignals();
// Takes what arrived off the descriptor; the last signal's number, 0 when none came.
int TakeTerminationSignal();
// Puts back the handling there was before and closes the descriptor.
void StopWatchingTerminationSignals();

}  // namespace platform
