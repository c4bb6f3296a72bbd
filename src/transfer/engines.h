#pragma once

// The worker threads' entry points; each run is a new detached thread.
void SendEngine();
void ReceiveEngine();
