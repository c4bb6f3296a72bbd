#include "platform/serial_port.h"

#include <windows.h>

#include <mutex>
#include <new>
#include <string>

#include "platform/win32/native_dcb.h"
#include "platform/win32/wide_text.h"

namespace platform {

namespace {

// Wine ends an operation that a close cut off with this code rather than ERROR_OPERATION_ABORTED.
constexpr DWORD kWineClosedCode = 676;
// How long a close waits for the driver to let go of a cancelled operation's buffer.
constexpr DWORD kCancelWaitMs = 5000;
// How often a character held back by flow control looks again whether it may go.
constexpr DWORD kHoldCheckMs = 20;
// Wine hands the character straight to the device and fails with this code when the device cannot
// take it yet (a line held by XOFF).
constexpr DWORD kWineDeviceBusyCode = ERROR_SHARING_VIOLATION;

bool EndedByClose(DWORD error) {
  return error == ERROR_OPERATION_ABORTED || error == kWineClosedCode;
}

// Runs `step` under `lock`; the system error it left survives the unlock.
template <typename Step>
auto Locked(std::mutex& lock, Step step) -> decltype(step()) {
  DWORD error;
  auto result = [&] {
    std::lock_guard<std::mutex> hold(lock);
    auto value = step();
    error = GetLastError();
    return value;
  }();
  SetLastError(error);
  return result;
}

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE device) : device_(device) {
    dataDone_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    eventDone_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    closing_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~Win32SerialPort() override {
    Close();
    for (HANDLE event : {dataDone_, eventDone_, closing_}) {
      if (event) CloseHandle(event);
    }
  }

  bool Ready() const { return dataDone_ && eventDone_ && closing_; }

  bool SetEventMask(uint32_t mask) override {
    return Locked(lock_, [&] { return Usable() && SetCommMask(device_, mask) != 0; });
  }

  bool SetState(const PortDcb& dcb) override {
    DCB native = ToNativeDcb(dcb);
    return Locked(lock_, [&] { return Usable() && SetCommState(device_, &native) != 0; });
  }

  bool SetTimeouts(const CommTimeouts& timeouts) override {
    COMMTIMEOUTS native{timeouts.readInterval, timeouts.readTotalMultiplier,
                        timeouts.readTotalConstant, timeouts.writeTotalMultiplier,
                        timeouts.writeTotalConstant};
    return Locked(lock_, [&] { return Usable() && SetCommTimeouts(device_, &native) != 0; });
  }

  IoStart StartRead(uint8_t* buffer, uint32_t size, uint32_t* done) override {
    return Locked(lock_, [&] {
      if (!dataPending_) dataIsRead_ = true;
      return StartData(done, [&](DWORD* moved) {
        return ReadFile(device_, buffer, size, moved, &dataIo_) != 0;
      });
    });
  }

  IoStart StartWrite(const uint8_t* buffer, uint32_t size, uint32_t* done) override {
    return Locked(lock_, [&] {
      if (!dataPending_) dataIsRead_ = false;
      return StartData(done, [&](DWORD* moved) {
        return WriteFile(device_, buffer, size, moved, &dataIo_) != 0;
      });
    });
  }

  IoStart StartEventWait(uint32_t* mask) override {
    return Locked(lock_, [&] {
      if (!Usable()) return IoStart::kFailed;
      if (eventPending_) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return IoStart::kFailed;
      }
      eventIo_ = OVERLAPPED{};
      eventIo_.hEvent = eventDone_;
      ResetEvent(eventDone_);
      eventMask_ = 0;
      if (WaitCommEvent(device_, &eventMask_, &eventIo_)) {
        // Wine reports "data arrived" again at every wait for as long as unread data waits,
        // where Windows reports each arrival once: while a read is outstanding, which takes that
        // data anyway, the report is held back until the read has completed.
        if (eventMask_ == EV_RXCHAR && dataPending_ && dataIsRead_) {
          ResetEvent(eventDone_);
          eventPending_ = true;
          eventHeld_ = true;
          return IoStart::kPending;
        }
        *mask = eventMask_;
        return IoStart::kCompleted;
      }
      if (GetLastError() != ERROR_IO_PENDING) return IoStart::kFailed;
      eventPending_ = true;
      return IoStart::kPending;
    });
  }

  WaitResult WaitForAny() override {
    // Only the events are waited on, never the device, so a close meanwhile is harmless.
    HANDLE events[] = {dataDone_, eventDone_, closing_};
    const DWORD woken = WaitForMultipleObjects(3, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) return WaitResult::kData;
    if (woken == WAIT_OBJECT_0 + 1) return WaitResult::kEvent;
    if (woken == WAIT_OBJECT_0 + 2) {
      std::lock_guard<std::mutex> hold(lock_);
      return eventPending_ && !dataPending_ ? WaitResult::kEvent : WaitResult::kData;
    }
    return WaitResult::kFailed;
  }

  IoResult DataResult() override {
    return Locked(lock_, [&] {
      IoResult result = Result(&dataIo_, &dataPending_);
      if (!dataPending_ && eventHeld_) SetEvent(eventDone_);
      return result;
    });
  }

  IoResult EventResult() override {
    return Locked(lock_, [&] {
      if (eventHeld_ && device_ != INVALID_HANDLE_VALUE) {
        eventHeld_ = false;
        eventPending_ = false;
        return IoResult{IoResult::kOk, eventMask_};
      }
      eventHeld_ = false;
      IoResult result = Result(&eventIo_, &eventPending_);
      if (result.status == IoResult::kOk) result.value = eventMask_;
      return result;
    });
  }

  bool ClearError(uint32_t* errors, ComStat* status) override {
    return Locked(lock_, [&] {
      if (!Usable()) return false;
      DWORD flags = 0;
      COMSTAT native{};
      if (!ClearCommError(device_, &flags, &native)) return false;
      *errors = flags;
      status->bits = (native.fCtsHold ? kCtsHold : 0) | (native.fDsrHold ? kDsrHold : 0) |
                     (native.fRlsdHold ? kRlsdHold : 0) | (native.fXoffHold ? kXoffHold : 0) |
                     (native.fXoffSent ? kXoffSent : 0) | (native.fEof ? kEof : 0) |
                     (native.fTxim ? kTxim : 0);
      status->inQueue = native.cbInQue;
      status->outQueue = native.cbOutQue;
      return true;
    });
  }

  bool ModemStatus(uint32_t* status) override {
    return Locked(lock_, [&] {
      DWORD lines = 0;
      if (!Usable() || !GetCommModemStatus(device_, &lines)) return false;
      *status = lines;
      return true;
    });
  }

  // The character waits out a hold of the output (XOFF, CTS, DSR) as written data does, until
  // the hold ends or Close. The driver itself would send it through an XOFF hold, and would drop
  // it once the write time-out passed under the others while still reporting success: so it is
  // handed over only while nothing holds the output, and it counts as sent once it has left.
  bool TransmitChar(uint8_t character) override {
    for (;;) {
      COMSTAT status{};
      if (!Locked(lock_, [&] { return Usable() && ClearCommError(device_, nullptr, &status); })) {
        return false;
      }
      if (!(status.fCtsHold || status.fDsrHold || status.fXoffHold)) {
        if (Locked(lock_, [&] {
              return Usable() && TransmitCommChar(device_, static_cast<char>(character)) != 0;
            })) {
          break;
        }
        if (GetLastError() != kWineDeviceBusyCode) return false;
      }
      if (!PauseUnlessClosed()) return false;
    }
    // A driver that queues the character shows it as waiting (fTxim) until it has gone: a close
    // meanwhile would drop it.
    for (;;) {
      COMSTAT status{};
      if (!Locked(lock_, [&] { return Usable() && ClearCommError(device_, nullptr, &status); })) {
        return false;
      }
      if (!status.fTxim) return true;
      if (!PauseUnlessClosed()) return false;
    }
  }

  // Every outstanding operation ends as aborted; the engine's buffer is let go before this
  // returns, and the device handle is never used again, so it cannot be a reused one.
  void Close() override {
    const DWORD error = GetLastError();
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (device_ != INVALID_HANDLE_VALUE) {
        CancelIoEx(device_, nullptr);
        CloseHandle(device_);
        device_ = INVALID_HANDLE_VALUE;
        if (dataPending_) WaitForSingleObject(dataDone_, kCancelWaitMs);
        if (eventPending_ && !eventHeld_) WaitForSingleObject(eventDone_, kCancelWaitMs);
      }
      if (closing_) SetEvent(closing_);
    }
    SetLastError(error);
  }

  bool IsClosed() override {
    std::lock_guard<std::mutex> hold(lock_);
    return device_ == INVALID_HANDLE_VALUE;
  }

 private:
  bool Usable() {
    if (device_ != INVALID_HANDLE_VALUE) return true;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }

  // Waits a little while something holds the output; false, as aborted, once the port closes.
  bool PauseUnlessClosed() {
    if (WaitForSingleObject(closing_, kHoldCheckMs) == WAIT_TIMEOUT) return true;
    SetLastError(ERROR_OPERATION_ABORTED);
    return false;
  }

  template <typename Call>
  IoStart StartData(uint32_t* done, Call call) {
    if (!Usable()) return IoStart::kFailed;
    if (dataPending_) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return IoStart::kFailed;
    }
    dataIo_ = OVERLAPPED{};
    dataIo_.hEvent = dataDone_;
    ResetEvent(dataDone_);
    DWORD moved = 0;
    if (call(&moved)) {
      *done = moved;
      return IoStart::kCompleted;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      dataPending_ = true;
      return IoStart::kPending;
    }
    // Wine fails a transfer cut by its time-out; Windows completes it with what was moved.
    if (error == ERROR_TIMEOUT) {
      *done = static_cast<uint32_t>(dataIo_.InternalHigh);
      return IoStart::kCompleted;
    }
    return IoStart::kFailed;
  }

  IoResult Result(OVERLAPPED* io, bool* pending) {
    if (device_ == INVALID_HANDLE_VALUE) {
      *pending = false;
      return IoResult{IoResult::kAborted, 0};
    }
    DWORD moved = 0;
    if (GetOverlappedResult(device_, io, &moved, FALSE)) {
      *pending = false;
      return IoResult{IoResult::kOk, moved};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return IoResult{IoResult::kFailed, 0};
    *pending = false;
    if (EndedByClose(error)) return IoResult{IoResult::kAborted, 0};
    if (error == ERROR_TIMEOUT) {
      SetLastError(0);
      return IoResult{IoResult::kOk, static_cast<uint32_t>(io->InternalHigh)};
    }
    SetLastError(error);
    return IoResult{IoResult::kFailed, 0};
  }

  std::mutex lock_;
  HANDLE device_;
  HANDLE dataDone_ = nullptr;
  HANDLE eventDone_ = nullptr;
  HANDLE closing_ = nullptr;
  OVERLAPPED dataIo_{};
  OVERLAPPED eventIo_{};
  DWORD eventMask_ = 0;
  bool dataPending_ = false;
  bool eventPending_ = false;
  bool eventHeld_ = false;   // completed, reported once the outstanding read has completed
  bool dataIsRead_ = false;  // the outstanding data operation is a read
};

}  // namespace

std::shared_ptr<SerialPort> OpenSerialPort(const char* name, const char* /*startDirectory*/) {
  // The device namespace opens every port, COM10 and above too.
  const std::wstring device = L"\\\\.\\" + Cp1250ToWide(name ? name : "");
  HANDLE handle = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto* port = new (std::nothrow) Win32SerialPort(handle);
  if (!port || !port->Ready()) {
    const DWORD error = port ? GetLastError() : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    if (port) {
      delete port;
    } else {
      CloseHandle(handle);
    }
    SetLastError(error);
    return nullptr;
  }
  return std::shared_ptr<SerialPort>(port);
}

}  // namespace platform
