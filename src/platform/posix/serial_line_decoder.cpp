#include "platform/posix/serial_line_decoder.h"

namespace platform {

void LineDecoder::Configure(bool marked, bool dropNull, uint8_t eventChar, bool replaceErrors,
                            uint8_t errorChar) {
  marked_ = marked;
  dropNull_ = dropNull;
  eventChar_ = eventChar;
  replaceErrors_ = replaceErrors;
  errorChar_ = errorChar;
  if (!marked_) state_ = kPlain;
}

void LineDecoder::Emit(uint8_t byte, uint8_t* out, Result* result) const {
  if (byte == 0 && dropNull_) return;
  if (byte == eventChar_) result->eventChar = true;
  out[result->bytes++] = byte;
}

LineDecoder::Result LineDecoder::Decode(const uint8_t* in, size_t size, uint8_t* out) {
  Result result;
  for (size_t i = 0; i < size; ++i) {
    uint8_t byte = in[i];
    switch (state_) {
      case kPlain:
        if (marked_ && byte == 0xFF) {
          state_ = kAfterFf;
        } else {
          Emit(byte, out, &result);
        }
        break;
      case kAfterFf:
        if (byte == 0xFF) {
          Emit(0xFF, out, &result);
          state_ = kPlain;
        } else if (byte == 0x00) {
          state_ = kAfterFf00;
        } else {
          // Not a mark: an unescaped 0xFF from before marking was on.
          Emit(0xFF, out, &result);
          Emit(byte, out, &result);
          state_ = kPlain;
        }
        break;
      case kAfterFf00:
        state_ = kPlain;
        if (byte == 0x00) {
          ++result.breaks;
        } else {
          ++result.errors;
          Emit(replaceErrors_ ? errorChar_ : byte, out, &result);
        }
        break;
    }
  }
  return result;
}

LineDecoder::Result LineDecoder::Flush(uint8_t* out) {
  Result result;
  if (state_ == kAfterFf || state_ == kAfterFf00) Emit(0xFF, out, &result);
  if (state_ == kAfterFf00) Emit(0x00, out, &result);
  state_ = kPlain;
  return result;
}

}  // namespace platform
