#pragma once

#include <termios.h>

#include <functional>
#include <string>

// The machine's end of the serial line: a pseudo-terminal of its own whose other end is linked
// as "COMn" in the program's start directory, or a real serial port.
namespace machine {

struct DeviceSettings {
  int baud = 9600;
  int dataBits = 8;
  char parity = 'N';  // N E O M S
  int stopBits = 1;
  std::string flow = "none";  // none, rtscts, xonxoff
};

// "8N1", "7E2", ...: false when the text is no frame.
bool ParseFrame(const std::string& text, DeviceSettings* settings);

class Line {
 public:
  Line() = default;
  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // Makes a pseudo-terminal and links its device end as `linkPath`. A symbolic link already
  // there (left by an earlier run) is replaced; any other file is left alone and refused.
  bool OpenPseudoTerminal(const std::string& linkPath, std::string* error);
  // Opens a real serial port, exclusively, raw, with the given rate and frame.
  bool OpenDevice(const std::string& path, const DeviceSettings& settings, std::string* error);

  bool pseudo() const { return pseudo_; }
  const std::string& devicePath() const { return devicePath_; }
  int fd() const { return fd_; }
  // On a pseudo-terminal: a descriptor that becomes readable when the program opens or closes
  // its end (-1 on a real port, where nobody can tell).
  int watchFd() const { return watchFd_; }

  // Takes the open and close notices, in order; true when the program's end changed.
  // `beforeClose` runs before each close is counted, so that what the program wrote before it
  // closed is read as part of that opening.
  bool TakeNotices(const std::function<void()>& beforeClose);
  // Whether the program holds its end open now (always true on a real port), and how many
  // times it has opened it so far.
  bool PeerOpen() const { return !pseudo_ || peerOpens_ > peerCloses_; }
  long PeerOpenings() const { return peerOpens_; }

  // Reads what is there without waiting: bytes appended to `bytes`; false on a hard failure.
  bool ReadAvailable(std::string* bytes);
  // Writes as much as the line takes now; the count written, -1 on a hard failure.
  long WriteSome(const char* bytes, size_t count);
  // Bytes written but not yet on the wire (0 on a pseudo-terminal).
  int Unsent() const;

 private:
  int fd_ = -1;
  int watchFd_ = -1;
  bool pseudo_ = false;
  bool restoreSettings_ = false;
  std::string devicePath_;
  std::string linkPath_;
  long peerOpens_ = 0;
  long peerCloses_ = 0;
  termios original_{};
};

}  // namespace machine
