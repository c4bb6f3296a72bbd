#include "platform/mode_string.h"
namespace platform {
bool ParseModeString(const char*, PortDcb*) { return false; }
}  // namespace platform
