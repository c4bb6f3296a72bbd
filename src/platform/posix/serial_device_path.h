#pragma once

#include <string>

namespace platform {

// The file that a port name opens: for "COMn" the file of that name in `startDirectory` when there
// is one (a link to the device), otherwise /dev/ttyS(n-1); any other name as given.
std::string SerialDevicePath(const char* name, const char* startDirectory);

}  // namespace platform
