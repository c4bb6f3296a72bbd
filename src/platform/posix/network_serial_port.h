#pragma once

#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace platform {

// The longest address a port file may hold on its first line.
constexpr size_t kMaxNetworkAddress = 1024;

// Reads the address a port file names: its first line, without the line end and the spaces
// around it. False, with errno set, when the file cannot be read, its first line is empty or
// longer than kMaxNetworkAddress, or it holds a zero byte.
bool ReadNetworkAddress(const std::string& entryPath, std::string* address);

// Opens the serial port a device server offers on the network, named by the libgensio address on
// the first line of the port file `entryPath` ("telnet(rfc2217),tcp,HOST,PORT", "tcp,HOST,PORT",
// the same over "ssl"). The port is held exclusively through a lock on that file. Null on
// failure, with errno set: a refused connection is ECONNREFUSED, as a missing device is ENOENT.
std::shared_ptr<SerialPort> OpenNetworkSerialPort(const std::string& entryPath);

}  // namespace platform
