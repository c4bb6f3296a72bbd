#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Turns what the terminal layer delivers with PARMRK into the data a Windows driver would buffer:
// 0xFF 0xFF is a data byte 0xFF, 0xFF 0x00 c a byte received with a parity or framing error,
// 0xFF 0x00 0x00 a break. Received zero bytes may be dropped (fNull), an erroneous byte may be
// replaced (fErrorChar). A mark split across two reads is completed by the next one.
class LineDecoder {
 public:
  struct Result {
    size_t bytes = 0;        // data bytes written to the output
    bool eventChar = false;  // the event character is among them
    uint32_t errors = 0;     // bytes marked as received with an error
    uint32_t breaks = 0;     // breaks
  };

  void Configure(bool marked, bool dropNull, uint8_t eventChar, bool replaceErrors,
                 uint8_t errorChar);

  // Decodes `size` bytes; `out` must have room for `size` + 2 bytes (a partial mark held from the
  // previous call may turn out to be data).
  Result Decode(const uint8_t* in, size_t size, uint8_t* out);

  // The device has nothing more to deliver. The terminal layer stores a mark whole, so a partial
  // one left now was never a mark (bytes buffered before marking was switched on): it is data.
  // `out` needs room for 2 bytes.
  Result Flush(uint8_t* out);

  void Reset() { state_ = kPlain; }

 private:
  enum State { kPlain, kAfterFf, kAfterFf00 };
  void Emit(uint8_t byte, uint8_t* out, Result* result) const;
  void EmitRun(const uint8_t* run, size_t size, uint8_t* out, Result* result) const;

  bool marked_ = true;
  bool dropNull_ = false;
  uint8_t eventChar_ = 0;
  bool replaceErrors_ = false;
  uint8_t errorChar_ = 0;
  State state_ = kPlain;
};

}  // namespace platform
