#pragma once

#include <cstdint>
#include <memory>

#include "platform/files.h"
#include "platform/serial_port.h"
#include "transfer/engine_run.h"

// What one engine run holds of its own: its identity and its references to the port and the file.
// The run's own port is closed when the run object goes, so that no outstanding operation outlives
// the buffer it works on.
struct EngineRun {
  run::RunId id = 0;
  std::shared_ptr<platform::SerialPort> port;
  std::shared_ptr<platform::File> file;

  EngineRun() = default;
  EngineRun(const EngineRun&) = delete;
  EngineRun& operator=(const EngineRun&) = delete;
  ~EngineRun() {
    if (port) port->Close();
  }
};

// How the error exit goes on in listen mode.
enum class ListenRetry {
  kAtOnce,
  kAfterPause,  // the port is missing: try again after a second, not in a tight loop
};

// Reports `text` with the system error `code`, resets the run and returns to listening in listen
// mode. A run that has been reset meanwhile does none of it.
void ErrorExit(EngineRun& engine, const char* text, int code,
               ListenRetry retry = ListenRetry::kAtOnce);

// The engine gives way to a listen switch made while it started: it ends its own run and puts
// back the controls, leaving a run that has begun since alone.
void GiveWay(EngineRun& engine);

// Every comm event there is.
constexpr uint32_t kAllEvents = 0x1FF;
// All but the arrival of a character: a receiving engine learns of its data from the read, and a
// wake for every arrival would cost more than the data itself.
constexpr uint32_t kLineEvents = kAllEvents & ~platform::kEvRxChar;

// Opens and configures the port with the given time-outs (all five set to the same value) and
// comm-event mask. False when the run has ended (through the error exit or a reset).
bool OpenRunPort(EngineRun& engine, uint32_t timeout, uint32_t events);

// Where the engines get their port from: the platform's serial port unless replaced (tests put a
// scripted port in its place to reach failures a real device does not give on demand).
using PortOpener = std::shared_ptr<platform::SerialPort> (*)(const char* name,
                                                             const char* startDirectory);
void SetPortOpener(PortOpener opener);

// ClearCommError and the line status after a comm event (or, with no event, as a refresh).
void ServeLineEvent(EngineRun& engine, uint32_t eventMask);

// The status side of an engine loop: starts a comm-event wait when none is outstanding and serves
// one that completes at once. False when the run has ended (through the error exit).
bool KeepStatusWaitGoing(EngineRun& engine, bool* statusPending);
// Serves the comm-event wait that the loop's wait found complete. False when the run has ended.
bool ServeCompletedStatusWait(EngineRun& engine, bool* statusPending);

// Shows a signed count in a text control.
void ShowCount(int control, int32_t count);

constexpr uint32_t kBlockSize = 1024;
constexpr uint8_t kEndOfFile = 3;
