#pragma once

// The worker threads' entry points; each run is a new detached thread.
void SendEngine();
void ReceiveEngine();
// The receive engine started to listen: it never turns to file reception.
void ListenEngine();
