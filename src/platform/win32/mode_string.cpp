#include "platform/mode_string.h"

#include "platform/win32/native_dcb.h"

namespace platform {

bool ParseModeString(const char* mode, PortDcb* dcb) {
  DCB native = ToNativeDcb(*dcb);
  if (!BuildCommDCBA(mode, &native)) return false;
  FromNativeDcb(native, dcb);
  return true;
}

}  // namespace platform
