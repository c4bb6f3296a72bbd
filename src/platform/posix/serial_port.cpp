#include "platform/serial_port.h"
namespace platform {
std::shared_ptr<SerialPort> OpenSerialPort(const char*, const char*) { return nullptr; }
}  // namespace platform
