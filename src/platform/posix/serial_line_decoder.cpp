#include "platform/posix/serial_line_decoder.h"

#include <cstring>

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

void LineDecoder::EmitRun(const uint8_t* run, size_t size, uint8_t* out, Result* result) const {
  if (dropNull_) {
    for (size_t i = 0; i < size; ++i) Emit(run[i], out, result);
    return;
  }
  if (size == 0) return;
  std::memcpy(out + result->bytes, run, size);
  result->bytes += size;
  if (!result->eventChar) result->eventChar = std::memchr(run, eventChar_, size) != nullptr;
}

LineDecoder::Result LineDecoder::Decode(const uint8_t* in, size_t size, uint8_t* out) {
  Result result;
  size_t i = 0;
  while (i < size) {
    if (state_ == kPlain) {
      // The bytes up to the next mark are data as they are: they go whole.
      const uint8_t* from = in + i;
      const void* mark = marked_ ? std::memchr(from, 0xFF, size - i) : nullptr;
      const size_t run =
          mark ? static_cast<size_t>(static_cast<const uint8_t*>(mark) - from) : size - i;
      EmitRun(from, run, out, &result);
      i += run;
      if (i < size) {
        state_ = kAfterFf;
        ++i;
      }
      continue;
    }
    const uint8_t byte = in[i++];
    if (state_ == kAfterFf) {
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
      continue;
    }
    state_ = kPlain;  // after 0xFF 0x00
    if (byte == 0x00) {
      ++result.breaks;
    } else {
      ++result.errors;
      Emit(replaceErrors_ ? errorChar_ : byte, out, &result);
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
