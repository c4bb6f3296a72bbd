#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/pty_pair.h"

// A TCP port of 127.0.0.1 that nothing listens on now.
inline int FreeTcpPort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

// Whether something listens on the port, read from the kernel's table: a probing connection would
// be a client to the device server.
inline bool Listening(int port) {
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  std::string line;
  while (std::getline(table, line)) {
    if (line.find(local) != std::string::npos && line.find(" 0A ") != std::string::npos) {
      return true;
    }
  }
  return false;
}

// ser2net (the device server) on 127.0.0.1 serving `device`, the slave of a pty of the caller's,
// with the modem lines and the frame of a serial port given by the preloaded shim at `shim`,
// which writes each setting the device gets to `directory`/frames.
class DeviceServer {
 public:
  DeviceServer(const std::string& directory, const std::string& shim, const std::string& device,
               const std::string& accepter)
      : directory_(directory),
        shim_(shim),
        device_(device),
        accepter_(accepter),
        port_(FreeTcpPort()) {
    Start();
  }

  // False when it does not listen within 30 s.
  bool Start() {
    const std::string config = directory_ + "/ser2net-" + std::to_string(port_) + ".yaml";
    std::ofstream(config) << "connection: &line\n  accepter: " << accepter_ << ",127.0.0.1,"
                          << port_ << "\n  connector: serialdev," << device_ << ",9600n81,local\n";
    process_ = std::make_unique<ChildProcess>(
        "/usr/bin/env",
        std::vector<std::string>{"LD_PRELOAD=" + shim_, "PTY_SHIM_LOG=" + directory_ + "/frames",
                                 "ser2net", "-n", "-u", "-c", config},
        directory_ + "/ser2net-" + std::to_string(port_) + ".out", "");
    started_ = process_->started() && WaitUntil([this] { return Listening(port_); });
    return started_;
  }
  bool started() const { return started_; }

  void Stop() {
    process_->Signal(SIGKILL);
    process_->WaitForExit(10000);
  }

  int port() const { return port_; }
  std::string Output() const { return process_->Output(); }

  // The settings the device was given so far, the newest last ("cflag ospeed", the flags octal).
  std::vector<std::string> Settings() const {
    std::ifstream log(directory_ + "/frames");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string directory_;
  std::string shim_;
  std::string device_;
  std::string accepter_;
  int port_;
  bool started_ = false;
  std::unique_ptr<ChildProcess> process_;
};
