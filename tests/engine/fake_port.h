#pragma once

#include <cstdint>

#include "platform/serial_port.h"

// A port that only answers the modem status.
class ModemOnlyPort : public platform::SerialPort {
 public:
  explicit ModemOnlyPort(uint32_t modem, bool readable = true)
      : modem_(modem), readable_(readable) {}
  bool SetEventMask(uint32_t) override { return true; }
  bool SetState(const PortDcb&) override { return true; }
  bool SetTimeouts(const platform::CommTimeouts&) override { return true; }
  platform::IoStart StartRead(uint8_t*, uint32_t, uint32_t*) override {
    return platform::IoStart::kFailed;
  }
  platform::IoStart StartWrite(const uint8_t*, uint32_t, uint32_t*) override {
    return platform::IoStart::kFailed;
  }
  platform::IoStart StartEventWait(uint32_t*) override { return platform::IoStart::kFailed; }
  platform::WaitResult WaitForAny() override { return platform::WaitResult::kFailed; }
  platform::IoResult DataResult() override { return {platform::IoResult::kFailed, 0}; }
  platform::IoResult EventResult() override { return {platform::IoResult::kFailed, 0}; }
  bool ClearError(uint32_t* errors, platform::ComStat* status) override {
    *errors = 0;
    *status = {};
    return true;
  }
  bool ModemStatus(uint32_t* status) override {
    *status = readable_ ? modem_ : 0xFFFF;  // garbage when it fails
    return readable_;
  }
  bool TransmitChar(uint8_t) override { return true; }
  void Close() override { ++closes; }
  bool IsClosed() override { return false; }

 public:
  int closes = 0;

 private:
  uint32_t modem_;
  bool readable_;
};
