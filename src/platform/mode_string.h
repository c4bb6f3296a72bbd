#pragma once

#include "settings/port_dcb.h"

namespace platform {

// The platform's mode-string parser ("9600,N,8,1"), after BuildCommDCBA: fills the members the
// string concerns and leaves the others as they are. Returns false when the text is rejected.
bool ParseModeString(const char* mode, PortDcb* dcb);

}  // namespace platform
