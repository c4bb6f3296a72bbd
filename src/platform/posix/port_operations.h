#pragma once

// What the local and the network port share: their outstanding operations, which follow the
// overlapped semantics of the Windows driver, and the rules of the read time-outs.

#include <cerrno>
#include <cstdint>

#include "platform/serial_port.h"

namespace platform {

constexpr uint64_t kNever = UINT64_MAX;
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr uint32_t kModemEvents = kEvCts | kEvDsr | kEvRlsd | kEvRing;

inline uint64_t AddMs(uint64_t at, uint64_t ms) {
  return ms >= kNever - at ? kNever : at + ms;
}

inline bool FailWith(int error) {
  errno = error;
  return false;
}
inline IoStart FailStart(int error) {
  errno = error;
  return IoStart::kFailed;
}

enum OpState { kIdle, kPending, kDone };

// The outstanding read or write.
struct DataOp {
  OpState state = kIdle;
  bool reading = false;
  uint8_t* readBuffer = nullptr;
  const uint8_t* writeBuffer = nullptr;
  uint32_t size = 0;
  uint32_t done = 0;  // a write: the bytes the device (or the connection) has taken
  uint64_t deadline = kNever;
  uint64_t interval = 0;
  uint64_t lastByteAt = 0;
  bool returnOnAny = false;
  uint64_t drainCheckAt = kNever;  // a local write: when to look whether the driver has sent it
  uint64_t takenAsked = 0;         // a network write: the confirmation that ends it
  IoResult result{IoResult::kOk, 0};
  int error = 0;
};

// The outstanding comm-event wait.
struct EventOp {
  OpState state = kIdle;
  IoResult result{IoResult::kOk, 0};
  int error = 0;
};

// SetCommTimeouts refuses a read that would both return at once and never time out.
inline bool TimeoutsAccepted(const CommTimeouts& timeouts) {
  return !(timeouts.readInterval == kMaxDword && timeouts.readTotalMultiplier == kMaxDword &&
           timeouts.readTotalConstant == kMaxDword) ||
         FailWith(EINVAL);
}

// A read that returns at once with what is there, waiting for nothing.
inline bool ReadsAtOnce(const CommTimeouts& timeouts) {
  return timeouts.readInterval == kMaxDword && timeouts.readTotalMultiplier == 0 &&
         timeouts.readTotalConstant == 0;
}

// `op` becomes a read of `size` bytes into `buffer`, started at `now`, that waits as `timeouts`
// say: for all its bytes, or a pause after a byte, or its total time; or for any byte at all.
inline void StartPendingRead(DataOp* op, const CommTimeouts& timeouts, uint8_t* buffer,
                             uint32_t size, uint64_t now) {
  *op = DataOp{};
  op->state = kPending;
  op->reading = true;
  op->readBuffer = buffer;
  op->size = size;
  op->returnOnAny = timeouts.readInterval == kMaxDword && timeouts.readTotalMultiplier == kMaxDword;
  const uint64_t total =
      op->returnOnAny
          ? timeouts.readTotalConstant
          : static_cast<uint64_t>(timeouts.readTotalMultiplier) * size + timeouts.readTotalConstant;
  op->deadline = total == 0 ? kNever : AddMs(now, total);
  op->interval = timeouts.readInterval == kMaxDword || op->returnOnAny ? 0 : timeouts.readInterval;
}

// `op` becomes a write of `size` bytes from `buffer`, started at `now`.
inline void StartPendingWrite(DataOp* op, const CommTimeouts& timeouts, const uint8_t* buffer,
                              uint32_t size, uint64_t now) {
  *op = DataOp{};
  op->state = kPending;
  op->writeBuffer = buffer;
  op->size = size;
  const uint64_t total =
      static_cast<uint64_t>(timeouts.writeTotalMultiplier) * size + timeouts.writeTotalConstant;
  op->deadline = total == 0 ? kNever : AddMs(now, total);
}

// Counts `taken` more bytes into the pending read at `now`; true when the read has come to an
// end, with its result. What arrived before a failure of the device (`failure`, 0 for none) is
// delivered; a read with nothing fails.
inline bool SettleRead(DataOp* op, size_t taken, uint64_t now, int failure, IoResult* result,
                       int* error) {
  if (taken > 0) {
    op->done += static_cast<uint32_t>(taken);
    op->lastByteAt = now;
  }
  *error = 0;
  *result = IoResult{IoResult::kOk, op->done};
  const bool complete =
      op->done == op->size || (op->returnOnAny && op->done > 0) ||
      (op->interval != 0 && op->done > 0 && now >= AddMs(op->lastByteAt, op->interval)) ||
      now >= op->deadline;
  if (complete) return true;
  if (!failure) return false;
  if (op->done == 0) {
    *result = IoResult{IoResult::kFailed, 0};
    *error = failure;
  }
  return true;
}

// When the pending read completes by time alone.
inline uint64_t ReadWakeTime(const DataOp& op) {
  uint64_t wake = op.deadline;
  if (op.interval != 0 && op.done > 0) {
    const uint64_t pauseEnds = AddMs(op.lastByteAt, op.interval);
    if (pauseEnds < wake) wake = pauseEnds;
  }
  return wake;
}

// GetOverlappedResult without waiting: aborted on a closed port, the result once complete.
template <class Op>
IoResult FetchResult(bool closed, Op* op) {
  if (closed) {
    op->state = kIdle;
    errno = ECANCELED;
    return IoResult{IoResult::kAborted, 0};
  }
  if (op->state != kDone) {
    errno = op->state == kPending ? EINPROGRESS : EINVAL;
    return IoResult{IoResult::kFailed, 0};
  }
  op->state = kIdle;
  if (op->result.status == IoResult::kFailed) errno = op->error;
  return op->result;
}

}  // namespace platform
