#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

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

// A port whose operations go as the test says: each start completes, stays outstanding or fails
// with `failureCode`; completed writes take at most `writeLimit` bytes and are kept in `line`.
class ScriptedPort : public ModemOnlyPort {
 public:
  ScriptedPort() : ModemOnlyPort(0) {}

  platform::IoStart readStart = platform::IoStart::kPending;
  platform::IoStart writeStart = platform::IoStart::kCompleted;
  platform::IoStart eventStart = platform::IoStart::kPending;
  platform::WaitResult waitResult = platform::WaitResult::kFailed;
  uint32_t writeLimit = 1024;
  int failureCode = 5;
  std::vector<uint8_t> line;
  // What a completed read delivers, and what happens just before it does.
  std::vector<uint8_t> readData;
  std::function<void()> beforeReadCompletes;
  // The comm events asked for, and the error flags the next ClearError hands out.
  uint32_t eventMask = 0;
  uint32_t driverErrors = 0;

  bool SetEventMask(uint32_t mask) override {
    eventMask = mask;
    return true;
  }
  bool ClearError(uint32_t* errors, platform::ComStat* status) override {
    *errors = driverErrors;
    driverErrors = 0;
    *status = {};
    return true;
  }

  platform::IoStart StartRead(uint8_t* buffer, uint32_t size, uint32_t* done) override {
    *done = 0;
    if (readStart == platform::IoStart::kCompleted) {
      if (beforeReadCompletes) beforeReadCompletes();
      *done = std::min(size, static_cast<uint32_t>(readData.size()));
      if (*done) std::memcpy(buffer, readData.data(), *done);
    }
    return Started(readStart);
  }
  platform::IoStart StartWrite(const uint8_t* buffer, uint32_t size, uint32_t* done) override {
    *done = 0;
    if (writeStart == platform::IoStart::kCompleted) {
      *done = size < writeLimit ? size : writeLimit;
      line.insert(line.end(), buffer, buffer + *done);
    }
    return Started(writeStart);
  }
  platform::IoStart StartEventWait(uint32_t* mask) override {
    *mask = 0;
    return Started(eventStart);
  }
  platform::WaitResult WaitForAny() override {
    if (waitResult == platform::WaitResult::kFailed) errno = failureCode;
    return waitResult;
  }
  bool TransmitChar(uint8_t character) override {
    line.push_back(character);
    return true;
  }

 private:
  platform::IoStart Started(platform::IoStart result) {
    if (result == platform::IoStart::kFailed) errno = failureCode;
    return result;
  }
};
