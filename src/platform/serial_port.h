#pragma once

#include <cstdint>
#include <memory>

#include "settings/port_dcb.h"

namespace platform {

// Comm events (the WaitCommEvent mask bits).
constexpr uint32_t kEvRxChar = 0x0001;   // EV_RXCHAR
constexpr uint32_t kEvRxFlag = 0x0002;   // EV_RXFLAG: the event character arrived
constexpr uint32_t kEvTxEmpty = 0x0004;  // EV_TXEMPTY
constexpr uint32_t kEvCts = 0x0008;      // EV_CTS
constexpr uint32_t kEvDsr = 0x0010;      // EV_DSR
constexpr uint32_t kEvRlsd = 0x0020;     // EV_RLSD
constexpr uint32_t kEvBreak = 0x0040;    // EV_BREAK
constexpr uint32_t kEvErr = 0x0080;      // EV_ERR
constexpr uint32_t kEvRing = 0x0100;     // EV_RING

// Line error flags (ClearCommError).
constexpr uint32_t kCeRxOver = 0x0001;    // CE_RXOVER
constexpr uint32_t kCeOverrun = 0x0002;   // CE_OVERRUN
constexpr uint32_t kCeRxParity = 0x0004;  // CE_RXPARITY
constexpr uint32_t kCeFrame = 0x0008;     // CE_FRAME
constexpr uint32_t kCeBreak = 0x0010;     // CE_BREAK
constexpr uint32_t kCeTxFull = 0x0100;    // CE_TXFULL
constexpr uint32_t kCePto = 0x0200;       // CE_PTO
constexpr uint32_t kCeIoe = 0x0400;       // CE_IOE
constexpr uint32_t kCeDns = 0x0800;       // CE_DNS
constexpr uint32_t kCeOop = 0x1000;       // CE_OOP
constexpr uint32_t kCeMode = 0x8000;      // CE_MODE

// Modem status bits (GetCommModemStatus).
constexpr uint32_t kMsCtsOn = 0x0010;
constexpr uint32_t kMsDsrOn = 0x0020;
constexpr uint32_t kMsRingOn = 0x0040;
constexpr uint32_t kMsRlsdOn = 0x0080;

// The COMSTAT record; `bits` holds fCtsHold (bit 0), fDsrHold (1), fRlsdHold (2), fXoffHold (3),
// fXoffSent (4), fEof (5) and fTxim (6).
struct ComStat {
  uint32_t bits;
  uint32_t inQueue;
  uint32_t outQueue;
};
constexpr uint32_t kCtsHold = 0x01;
constexpr uint32_t kDsrHold = 0x02;
constexpr uint32_t kRlsdHold = 0x04;
constexpr uint32_t kXoffHold = 0x08;
constexpr uint32_t kXoffSent = 0x10;
constexpr uint32_t kEof = 0x20;
constexpr uint32_t kTxim = 0x40;

// COMMTIMEOUTS, in milliseconds (the multipliers per byte).
struct CommTimeouts {
  uint32_t readInterval;
  uint32_t readTotalMultiplier;
  uint32_t readTotalConstant;
  uint32_t writeTotalMultiplier;
  uint32_t writeTotalConstant;
};

// How a started read, write or event wait went.
enum class IoStart {
  kCompleted,  // done at once; the count or mask is filled in
  kPending,    // outstanding: complete it through WaitForAny and the result calls
  kFailed,     // failed at once; the system error is set
};

// Which outstanding operation completed first. When both are complete the data operation (read or
// write) is reported first.
enum class WaitResult {
  kData,
  kEvent,
  kFailed,  // the wait itself failed; the system error is set
};

// The result of an outstanding operation, fetched without waiting.
struct IoResult {
  enum Status { kOk, kAborted, kFailed } status;
  uint32_t value;  // bytes moved, or the event mask
};

// One open serial port, with the overlapped-I/O semantics of the Windows driver: at most one read
// or write and one event wait outstanding at a time. All calls but Close come from the one engine
// thread that owns the run; Close may come from any thread and completes every outstanding
// operation with kAborted at once. Each holder keeps its own reference, so the descriptor is freed
// only when the last one goes.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual bool SetEventMask(uint32_t mask) = 0;
  virtual bool SetState(const PortDcb& dcb) = 0;
  virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;

  // The buffer must stay valid until the read completes (or is aborted).
  virtual IoStart StartRead(uint8_t* buffer, uint32_t size, uint32_t* done) = 0;
  virtual IoStart StartWrite(const uint8_t* buffer, uint32_t size, uint32_t* done) = 0;
  virtual IoStart StartEventWait(uint32_t* mask) = 0;

  // Blocks until the outstanding data operation or event wait completes (both must be outstanding).
  virtual WaitResult WaitForAny() = 0;
  virtual IoResult DataResult() = 0;
  virtual IoResult EventResult() = 0;

  // ClearCommError: returns and clears the error flags and fills the status record.
  virtual bool ClearError(uint32_t* errors, ComStat* status) = 0;
  // GetCommModemStatus; a device without modem lines reports 0.
  virtual bool ModemStatus(uint32_t* status) = 0;
  // TransmitCommChar: one character ahead of any queued output. It waits while flow control
  // (XOFF, CTS, DSR) holds the output, however long, and returns once the character has left;
  // Close from another thread ends the wait with a failure.
  virtual bool TransmitChar(uint8_t character) = 0;

  virtual void Close() = 0;
  virtual bool IsClosed() = 0;
};

// Opens a port by its settings name ("COM1"): on Linux the file of that name in `startDirectory`
// when there is one (a link to the device), otherwise /dev/ttyS(n-1). Null on failure, with the
// system error set; a port that is already open (here or elsewhere) fails to open.
std::shared_ptr<SerialPort> OpenSerialPort(const char* name, const char* startDirectory);

}  // namespace platform
