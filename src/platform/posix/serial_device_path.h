#pragma once

#include <string>

namespace platform {

// The machine's own numbered serial ports: "COMn" without an entry of its own is this, n-1.
constexpr char kNumberedPortPrefix[] = "/dev/ttyS";

// The file that a port name opens, in `path`: for "COMn" the entry of that name in
// `startDirectory` when there is one (a link to the device), /dev/ttyS(n-1) when the directory has
// none; any other name as given. False, with the system error set, when a "COMn" cannot be told:
// no start directory, or one that cannot be read (deleted, not searchable). The machine's own
// port is then never taken in the link's place.
bool SerialDevicePath(const char* name, const char* startDirectory, std::string* path);

}  // namespace platform
