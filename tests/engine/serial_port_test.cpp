#include "platform/serial_port.h"

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/posix/serial_device_path.h"
#include "platform/posix/serial_line_decoder.h"
#include "platform/posix/serial_rate.h"
#include "platform/posix/serial_termios.h"
#include "platform/system.h"
#include "support/pty_pair.h"

namespace {

using platform::CommTimeouts;
using platform::IoResult;
using platform::IoStart;
using platform::SerialPort;
using platform::WaitResult;

PortDcb Dcb(uint32_t baud = 9600, uint8_t byteSize = 8, uint8_t parity = dcb::kNoParity,
            uint8_t stopBits = dcb::kOneStopBit) {
  PortDcb dcb{};
  dcb.BaudRate = baud;
  dcb.ByteSize = byteSize;
  dcb.Parity = parity;
  dcb.fParity = parity != dcb::kNoParity;
  dcb.StopBits = stopBits;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  dcb.XonLim = 80;
  dcb.XoffLim = 100;
  dcb.EvtChar = 3;
  return dcb;
}

// A port opened on a fresh pseudo-terminal the way the engines open it.
struct OpenPort {
  PtyPair pair;
  TempDir dir;
  std::shared_ptr<SerialPort> port;

  explicit OpenPort(const PortDcb& dcb = Dcb(),
                    CommTimeouts timeouts = CommTimeouts{500, 500, 500, 500, 500}) {
    pair.LinkAs(dir.path(), "COM3");
    port = platform::OpenSerialPort("COM3", dir.path().c_str());
    if (!port) {
      ADD_FAILURE() << "open failed: errno " << errno;
      return;
    }
    EXPECT_TRUE(port->SetEventMask(0x1FF));
    EXPECT_TRUE(port->SetState(dcb));
    EXPECT_TRUE(port->SetTimeouts(timeouts));
  }
};

// Drives a port the way the engines do: a comm-event wait kept outstanding beside the data
// operation, one wait for whichever completes first.
class Engine {
 public:
  explicit Engine(SerialPort& port) : port_(port) {}

  // Runs the loop until the outstanding read or write completes.
  IoResult FinishData() {
    for (;;) {
      if (!ArmStatus()) return IoResult{IoResult::kFailed, 0};
      WaitResult woke = port_.WaitForAny();
      if (woke == WaitResult::kData) return port_.DataResult();
      if (woke != WaitResult::kEvent) {
        ADD_FAILURE() << "wait failed: errno " << errno;
        return IoResult{IoResult::kFailed, 0};
      }
      TakeStatus();
    }
  }

  // Waits, through comm events only, until the port holds at least `count` received bytes.
  void AwaitInput(uint32_t count) {
    for (;;) {
      uint32_t errors = 0;
      platform::ComStat stat{};
      ASSERT_TRUE(port_.ClearError(&errors, &stat));
      if (stat.inQueue >= count) return;
      if (!statusPending_) {
        uint32_t mask = 0;
        IoStart start = port_.StartEventWait(&mask);
        ASSERT_NE(start, IoStart::kFailed);
        events_ |= mask;
        statusPending_ = start == IoStart::kPending;
        if (!statusPending_) continue;
      }
      ASSERT_EQ(port_.WaitForAny(), WaitResult::kEvent);
      TakeStatus();
    }
  }

  std::vector<uint8_t> ReadExactly(size_t count, size_t block = 1024) {
    std::vector<uint8_t> got;
    uint8_t buffer[1024];
    uint64_t deadline = platform::MonotonicMilliseconds() + 10000;
    while (got.size() < count && platform::MonotonicMilliseconds() < deadline) {
      uint32_t done = 0;
      uint32_t want = static_cast<uint32_t>(std::min({sizeof buffer, block, count - got.size()}));
      IoStart start = port_.StartRead(buffer, want, &done);
      if (start == IoStart::kPending) {
        IoResult result = FinishData();
        EXPECT_EQ(result.status, IoResult::kOk);
        done = result.value;
      } else {
        EXPECT_EQ(start, IoStart::kCompleted);
      }
      got.insert(got.end(), buffer, buffer + done);
    }
    return got;
  }

  // Runs comm-event waits until all of `wanted` has been seen; returns everything seen.
  uint32_t AwaitEvents(uint32_t wanted) {
    while ((events_ & wanted) != wanted) {
      if (!statusPending_) {
        uint32_t mask = 0;
        IoStart start = port_.StartEventWait(&mask);
        if (start == IoStart::kFailed) {
          ADD_FAILURE() << "event wait failed: errno " << errno;
          break;
        }
        events_ |= mask;
        statusPending_ = start == IoStart::kPending;
        if (!statusPending_) continue;
      }
      if (port_.WaitForAny() != WaitResult::kEvent) {
        ADD_FAILURE() << "not an event";
        break;
      }
      TakeStatus();
    }
    return TakeEvents();
  }

  uint32_t TakeEvents() {
    uint32_t events = events_;
    events_ = 0;
    return events;
  }

 private:
  bool ArmStatus() {
    while (!statusPending_) {
      uint32_t mask = 0;
      IoStart start = port_.StartEventWait(&mask);
      if (start == IoStart::kCompleted) {
        events_ |= mask;
      } else if (start == IoStart::kPending) {
        statusPending_ = true;
      } else {
        ADD_FAILURE() << "event wait failed: errno " << errno;
        return false;
      }
    }
    return true;
  }

  void TakeStatus() {
    IoResult event = port_.EventResult();
    EXPECT_EQ(event.status, IoResult::kOk);
    events_ |= event.value;
    statusPending_ = false;
  }

  SerialPort& port_;
  bool statusPending_ = false;
  uint32_t events_ = 0;
};

// How many of this process's descriptors are open on the device at `path`.
int DescriptorsOn(const std::string& path) {
  struct stat device {};
  if (stat(path.c_str(), &device) != 0) return -1;
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    struct stat open {};
    if (fstat(fd, &open) == 0 && S_ISCHR(open.st_mode) && open.st_rdev == device.st_rdev) ++count;
  }
  return count;
}

termios DeviceSettings(const PtyPair& pair) {
  termios settings{};
  // The master reports the settings of its device end.
  EXPECT_EQ(tcgetattr(pair.master(), &settings), 0);
  return settings;
}

// The device a name opens, or the error that refused it.
std::string DeviceOf(const char* name, const char* startDirectory) {
  std::string path;
  if (platform::SerialDevicePath(name, startDirectory, &path)) return path;
  return "refused: " + std::string(std::strerror(errno));
}

TEST(SerialPortOpen, ComNamesMapToStartDirectoryLinkOrTtyS) {
  TempDir dir;
  // Only the names are worked out here; nothing is opened.
  const std::string numbered = platform::kNumberedPortPrefix;
  EXPECT_EQ(DeviceOf("COM1", dir.path().c_str()), numbered + "0");
  EXPECT_EQ(DeviceOf("COM12", dir.path().c_str()), numbered + "11");
  EXPECT_EQ(DeviceOf(dir.File("adapter").c_str(), dir.path().c_str()), dir.File("adapter"));
  // Without a start directory that can be read, no name falls back to the machine's own ports.
  const std::string refused = "refused: " + std::string(std::strerror(ENOENT));
  EXPECT_EQ(DeviceOf("COM2", nullptr), refused);
  EXPECT_EQ(DeviceOf("COM2", ""), refused);
  EXPECT_EQ(DeviceOf("COM2", dir.File("gone").c_str()), refused);
  dir.Write("file", "");
  EXPECT_EQ(DeviceOf("COM2", dir.File("file").c_str()),
            "refused: " + std::string(std::strerror(ENOTDIR)));
  errno = 0;
  EXPECT_FALSE(platform::OpenSerialPort("COM1", dir.File("gone").c_str()));
  EXPECT_EQ(errno, ENOENT);

  PtyPair pair;
  pair.LinkAs(dir.path(), "COM4");
  EXPECT_EQ(DeviceOf("COM4", dir.path().c_str()), dir.File("COM4"));

  auto port = platform::OpenSerialPort("COM4", dir.path().c_str());
  ASSERT_TRUE(port);
  uint32_t done = 0;
  const uint8_t hello[] = {'h', 'i'};
  ASSERT_EQ(port->StartWrite(hello, 2, &done), IoStart::kCompleted);
  EXPECT_EQ(pair.ReadAvailable(2, 5000), Bytes("hi"));
  // Raw from the start: nothing of the device's earlier settings shapes the bytes.
  termios settings = DeviceSettings(pair);
  EXPECT_FALSE(settings.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(settings.c_oflag & OPOST);
}

TEST(SerialPortOpen, MissingOrUnsuitableFilesFailWithSystemCode) {
  TempDir dir;
  errno = 0;
  EXPECT_FALSE(platform::OpenSerialPort("COM250", dir.path().c_str()));
  EXPECT_NE(errno, 0);
  // A plain file names a port on the network: this one names none.
  dir.Write("COM5", "not a device");
  errno = 0;
  EXPECT_FALSE(platform::OpenSerialPort("COM5", dir.path().c_str()));
  EXPECT_EQ(errno, EINVAL);
  // A refused file is not left locked or changed.
  EXPECT_EQ(dir.Read("COM5"), Bytes("not a device"));
}

TEST(SerialPortOpen, PortIsExclusiveUntilClosedEvenWhileReferenced) {
  OpenPort first;
  ASSERT_TRUE(first.port);
  errno = 0;
  EXPECT_FALSE(platform::OpenSerialPort("COM3", first.dir.path().c_str()));
  EXPECT_EQ(errno, EBUSY);
  errno = 0;
  EXPECT_FALSE(platform::OpenSerialPort(first.pair.devicePath().c_str(), nullptr));
  EXPECT_EQ(errno, EBUSY);

  termios before = DeviceSettings(first.pair);
  const int descriptors = DescriptorsOn(first.pair.devicePath());
  first.port->Close();
  EXPECT_TRUE(first.port->IsClosed());
  // The device is let go at once, although the port object lives on: with its original settings
  // back it would otherwise echo and edit what the peer sends.
  EXPECT_EQ(DescriptorsOn(first.pair.devicePath()), descriptors - 1);
  // The original settings (the pty's own rate) are back for whoever comes next.
  termios after = DeviceSettings(first.pair);
  EXPECT_NE(cfgetospeed(&before), cfgetospeed(&after));
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B38400));

  auto second = platform::OpenSerialPort("COM3", first.dir.path().c_str());
  ASSERT_TRUE(second) << "errno " << errno;
  // Calls on the closed port fail; the open one works.
  EXPECT_FALSE(first.port->SetTimeouts(CommTimeouts{}));
  EXPECT_EQ(errno, EBADF);
  first.pair.Write("x");
  ASSERT_TRUE(second->SetTimeouts(CommTimeouts{0, 0, 5000, 0, 0}));
  ASSERT_TRUE(second->SetEventMask(0x1FF));
  Engine engine(*second);
  EXPECT_EQ(engine.ReadExactly(1), Bytes("x"));
}

TEST(SerialPortState, MapsSizeParityStopBitsAndFlowControlOntoTermios) {
  termios line{};
  platform::LineOptions options;
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  for (uint8_t size = 5; size <= 8; ++size) {
    ASSERT_TRUE(platform::BuildLineSettings(Dcb(9600, size), &line, &options)) << int(size);
    EXPECT_EQ(line.c_cflag & CSIZE, sizes[size - 5]);
    EXPECT_EQ(options.bitsPerChar, 2u + size);
  }

  struct {
    uint8_t parity;
    tcflag_t flags;
  } parities[] = {{dcb::kOddParity, PARENB | PARODD},
                  {dcb::kEvenParity, PARENB},
                  {dcb::kMarkParity, PARENB | PARODD | CMSPAR},
                  {dcb::kSpaceParity, PARENB | CMSPAR},
                  {dcb::kNoParity, 0}};
  for (const auto& parity : parities) {
    ASSERT_TRUE(platform::BuildLineSettings(Dcb(9600, 7, parity.parity), &line, &options));
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD | CMSPAR), parity.flags) << int(parity.parity);
    EXPECT_TRUE(line.c_iflag & INPCK);  // parity checked, or framing errors shown
    EXPECT_TRUE(line.c_iflag & PARMRK);
    EXPECT_FALSE(line.c_iflag & (IGNPAR | IGNBRK | BRKINT | ISTRIP));
  }
  PortDcb unchecked = Dcb(9600, 7, dcb::kEvenParity);
  unchecked.fParity = 0;
  ASSERT_TRUE(platform::BuildLineSettings(unchecked, &line, &options));
  EXPECT_FALSE(line.c_iflag & INPCK);

  ASSERT_TRUE(platform::BuildLineSettings(Dcb(9600, 8, dcb::kNoParity, dcb::kTwoStopBits), &line,
                                          &options));
  EXPECT_TRUE(line.c_cflag & CSTOPB);
  ASSERT_TRUE(platform::BuildLineSettings(Dcb(9600, 5, dcb::kNoParity, dcb::kOne5StopBits), &line,
                                          &options));
  EXPECT_TRUE(line.c_cflag & CSTOPB);  // 1.5 stop bits after 5 data bits on a UART
  ASSERT_TRUE(platform::BuildLineSettings(Dcb(9600, 8), &line, &options));
  EXPECT_FALSE(line.c_cflag & (CSTOPB | CRTSCTS | PARENB));
  EXPECT_FALSE(line.c_iflag & (IXON | IXOFF));
  EXPECT_FALSE(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
  EXPECT_FALSE(line.c_oflag & OPOST);
  EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
}

TEST(SerialPortState, AppliesSpeedsAndFlowControlToTheDevice) {
  OpenPort open;
  ASSERT_TRUE(open.port);
  SerialPort& port = *open.port;

  ASSERT_TRUE(port.SetState(Dcb(19200)));
  termios line = DeviceSettings(open.pair);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
  // A pseudo-terminal never garbles a byte: its bytes go unmarked, which its driver hands over
  // whole.
  EXPECT_FALSE(line.c_iflag & (PARMRK | INPCK));
  for (uint32_t rate : {14400u, 250000u, 31250u}) {
    ASSERT_TRUE(port.SetState(Dcb(rate))) << rate;
    uint32_t actual = 0;
    ASSERT_TRUE(platform::ReadOutputRate(open.pair.master(), &actual));
    EXPECT_EQ(actual, rate);
  }
  ASSERT_TRUE(port.SetState(Dcb(115200)));
  line = DeviceSettings(open.pair);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));

  // A pseudo-terminal carries 8-bit bytes whatever is asked; every valid frame is accepted.
  for (uint8_t size = 5; size <= 8; ++size) {
    for (uint8_t parity = dcb::kNoParity; parity <= dcb::kSpaceParity; ++parity) {
      EXPECT_TRUE(port.SetState(Dcb(9600, size, parity))) << int(size) << " " << int(parity);
    }
  }
  ASSERT_TRUE(port.SetState(Dcb(9600, 8, dcb::kNoParity, dcb::kTwoStopBits)));
  EXPECT_TRUE(DeviceSettings(open.pair).c_cflag & CSTOPB);

  PortDcb flow = Dcb();
  flow.fOutxCtsFlow = 1;
  flow.fOutX = 1;
  flow.fInX = 1;
  flow.fOutxDsrFlow = 1;  // no modem lines on a pseudo-terminal: accepted, does nothing
  flow.fDsrSensitivity = 1;
  flow.fDtrControl = dcb::kDtrHandshake;
  flow.fRtsControl = dcb::kRtsToggle;
  ASSERT_TRUE(port.SetState(flow));
  line = DeviceSettings(open.pair);
  EXPECT_TRUE(line.c_cflag & CRTSCTS);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(line.c_cc[VSTART], 17);
  EXPECT_EQ(line.c_cc[VSTOP], 19);
  // RTS handshake alone must not make output wait for a CTS the peer may never raise.
  PortDcb rtsHandshake = Dcb();
  rtsHandshake.fRtsControl = dcb::kRtsHandshake;
  ASSERT_TRUE(port.SetState(rtsHandshake));
  EXPECT_FALSE(DeviceSettings(open.pair).c_cflag & CRTSCTS);
  rtsHandshake.fOutxCtsFlow = 1;
  ASSERT_TRUE(port.SetState(rtsHandshake));
  EXPECT_TRUE(DeviceSettings(open.pair).c_cflag & CRTSCTS);
  ASSERT_TRUE(port.SetState(Dcb()));
  EXPECT_FALSE(DeviceSettings(open.pair).c_cflag & CRTSCTS);
}

TEST(SerialPortState, RefusesWhatWindowsRefusesAndKeepsTheLastGoodSettings) {
  OpenPort open(Dcb(4800));
  ASSERT_TRUE(open.port);
  termios good = DeviceSettings(open.pair);

  PortDcb sameFlowChars = Dcb();
  sameFlowChars.fOutX = 1;
  sameFlowChars.XoffChar = sameFlowChars.XonChar;
  PortDcb bad[] = {Dcb(9600, 4),
                   Dcb(9600, 9),
                   Dcb(9600, 3),
                   Dcb(9600, 8, dcb::kNoParity, dcb::kOne5StopBits),
                   Dcb(9600, 6, dcb::kNoParity, dcb::kOne5StopBits),
                   Dcb(9600, 5, dcb::kNoParity, dcb::kTwoStopBits),
                   Dcb(9600, 8, dcb::kNoParity, 3),
                   Dcb(9600, 8, 5),
                   Dcb(0),
                   sameFlowChars};
  for (const PortDcb& dcb : bad) {
    errno = 0;
    EXPECT_FALSE(open.port->SetState(dcb))
        << "size " << int(dcb.ByteSize) << " parity " << int(dcb.Parity) << " stop "
        << int(dcb.StopBits) << " rate " << dcb.BaudRate;
    EXPECT_EQ(errno, EINVAL);
  }
  termios after = DeviceSettings(open.pair);
  EXPECT_EQ(after.c_cflag, good.c_cflag);
  EXPECT_EQ(after.c_iflag, good.c_iflag);

  EXPECT_FALSE(open.port->SetTimeouts(CommTimeouts{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0}));
  EXPECT_EQ(errno, EINVAL);
}

TEST(SerialPortRead, BlockEndsAnIntervalAfterTheLastByte) {
  OpenPort open;
  ASSERT_TRUE(open.port);
  Engine engine(*open.port);
  uint8_t buffer[1024];
  uint32_t done = 0;
  ASSERT_EQ(open.port->StartRead(buffer, sizeof buffer, &done), IoStart::kPending);
  std::vector<uint8_t> data = RandomBytes(300, 1);
  std::replace(data.begin(), data.end(), uint8_t{3}, uint8_t{4});  // no event character
  open.pair.Write(data);
  uint64_t sent = platform::MonotonicMilliseconds();
  IoResult result = engine.FinishData();
  uint64_t elapsed = platform::MonotonicMilliseconds() - sent;
  ASSERT_EQ(result.status, IoResult::kOk);
  ASSERT_EQ(result.value, data.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer));
  EXPECT_GE(elapsed, 450u);
  EXPECT_LE(elapsed, 1500u);
  uint32_t events = engine.TakeEvents();
  EXPECT_TRUE(events & platform::kEvRxChar);
  EXPECT_FALSE(events & platform::kEvRxFlag);
}

TEST(SerialPortRead, FullBlockCompletesAtOnceAndNothingIsLostBetweenReads) {
  OpenPort open(Dcb(), CommTimeouts{200, 0, 0, 0, 0});
  ASSERT_TRUE(open.port);
  Engine engine(*open.port);
  std::vector<uint8_t> data = RandomBytes(3000, 2);
  open.pair.Write(data);
  engine.AwaitInput(3000);
  uint8_t buffer[1024];
  uint32_t done = 0;
  ASSERT_EQ(open.port->StartRead(buffer, sizeof buffer, &done), IoStart::kCompleted);
  ASSERT_EQ(done, 1024u);
  std::vector<uint8_t> got(buffer, buffer + done);
  ASSERT_EQ(open.port->StartRead(buffer, sizeof buffer, &done), IoStart::kCompleted);
  got.insert(got.end(), buffer, buffer + done);
  // 952 bytes left for a read of 1024: outstanding until the interval passes.
  ASSERT_EQ(open.port->StartRead(buffer, sizeof buffer, &done), IoStart::kPending);
  IoResult rest = engine.FinishData();
  ASSERT_EQ(rest.status, IoResult::kOk);
  got.insert(got.end(), buffer, buffer + rest.value);
  EXPECT_EQ(got, data);

  // A block arriving while the read is outstanding ends it at its size.
  ASSERT_EQ(open.port->StartRead(buffer, 100, &done), IoStart::kPending);
  std::vector<uint8_t> more = RandomBytes(150, 3);
  open.pair.Write(more);
  IoResult cut = engine.FinishData();
  ASSERT_EQ(cut.value, 100u);
  EXPECT_TRUE(std::equal(more.begin(), more.begin() + 100, buffer));
  EXPECT_EQ(engine.ReadExactly(50), std::vector<uint8_t>(more.begin() + 100, more.end()));
}

TEST(SerialPortRead, LongStreamArrivesIntactThroughTheBoundedQueue) {
  OpenPort open(Dcb(), CommTimeouts{200, 0, 0, 0, 0});
  ASSERT_TRUE(open.port);
  Engine engine(*open.port);
  std::vector<uint8_t> data = RandomBytes(300000, 6);
  std::thread peer([&] { open.pair.Write(data); });
  // Let the queue fill before reading starts, so that it wraps while it is read.
  engine.AwaitInput(60000);
  EXPECT_EQ(engine.ReadExactly(data.size(), 1000), data);
  peer.join();
}

TEST(SerialPortRead, TotalTimeoutEndsAnEmptyReadAndSilenceRaisesNoEvent) {
  OpenPort open(Dcb(), CommTimeouts{50, 1, 100, 0, 0});
  ASSERT_TRUE(open.port);
  Engine engine(*open.port);
  for (int round = 0; round < 3; ++round) {
    uint8_t buffer[64];
    uint32_t done = 0;
    uint64_t start = platform::MonotonicMilliseconds();
    ASSERT_EQ(open.port->StartRead(buffer, sizeof buffer, &done), IoStart::kPending);
    IoResult result = engine.FinishData();
    EXPECT_EQ(result.status, IoResult::kOk);
    EXPECT_EQ(result.value, 0u);
    EXPECT_GE(platform::MonotonicMilliseconds() - start, 164u);
    EXPECT_EQ(engine.TakeEvents(), 0u);
  }
  // A new mask completes the outstanding wait with nothing.
  ASSERT_TRUE(open.port->SetEventMask(0x1FF));
  ASSERT_EQ(open.port->WaitForAny(), WaitResult::kEvent);
  IoResult event = open.port->EventResult();
  EXPECT_EQ(event.status, IoResult::kOk);
  EXPECT_EQ(event.value, 0u);
}

TEST(SerialPortEvents, DataAndTheEventCharacterRaiseRxCharAndRxFlagOnce) {
  OpenPort open(Dcb(), CommTimeouts{0, 0, 150, 0, 0});
  ASSERT_TRUE(open.port);
  Engine engine(*open.port);
  open.pair.Write(Bytes("data"));
  EXPECT_EQ(engine.AwaitEvents(platform::kEvRxChar), platform::kEvRxChar);
  engine.AwaitInput(4);
  open.pair.Write(Bytes("\x03"));
  EXPECT_EQ(engine.AwaitEvents(platform::kEvRxFlag), platform::kEvRxChar | platform::kEvRxFlag);
  EXPECT_EQ(engine.ReadExactly(5), Bytes("data\x03"));
  // Taking the bytes is no new event, and nothing is reported twice.
  uint8_t buffer[16];
  uint32_t done = 0;
  engine.TakeEvents();
  ASSERT_EQ(open.port->StartRead(buffer, sizeof buffer, &done), IoStart::kPending);
  EXPECT_EQ(engine.FinishData().value, 0u);
  EXPECT_EQ(engine.TakeEvents(), 0u);

  // Only the masked events are reported.
  ASSERT_TRUE(open.port->SetEventMask(platform::kEvRxFlag));
  open.pair.Write(Bytes("xy"));
  EXPECT_EQ(engine.ReadExactly(2), Bytes("xy"));
  EXPECT_EQ(engine.TakeEvents(), 0u);
}

TEST(SerialPortEvents, WriteCompletesAndOutputDrainRaisesTxEmptyOnce) {
  OpenPort open(Dcb(), CommTimeouts{0, 0, 100, 0, 0});
  ASSERT_TRUE(open.port);
  SerialPort& port = *open.port;
  Engine engine(port);
  std::vector<uint8_t> data = RandomBytes(200000, 4);
  std::vector<uint8_t> received;
  std::thread peer([&] { received = open.pair.ReadAvailable(data.size(), 10000); });
  uint32_t done = 0;
  IoStart start = port.StartWrite(data.data(), static_cast<uint32_t>(data.size()), &done);
  if (start == IoStart::kPending) {
    IoResult result = engine.FinishData();
    ASSERT_EQ(result.status, IoResult::kOk);
    done = result.value;
  } else {
    ASSERT_EQ(start, IoStart::kCompleted);
  }
  EXPECT_EQ(done, data.size());
  peer.join();
  EXPECT_EQ(received, data);

  // Drained once: the event comes, then idle waits see no more of it.
  uint32_t events = engine.TakeEvents();
  uint64_t deadline = platform::MonotonicMilliseconds() + 10000;
  while (!(events & platform::kEvTxEmpty) && platform::MonotonicMilliseconds() < deadline) {
    uint8_t byte;
    ASSERT_EQ(port.StartRead(&byte, 1, &done), IoStart::kPending);
    engine.FinishData();
    events |= engine.TakeEvents();
  }
  EXPECT_TRUE(events & platform::kEvTxEmpty);
  uint8_t byte;
  ASSERT_EQ(port.StartRead(&byte, 1, &done), IoStart::kPending);
  EXPECT_EQ(engine.FinishData().value, 0u);
  EXPECT_EQ(engine.TakeEvents(), 0u);
}

TEST(SerialPortWrite, WriteTimeoutEndsSuccessfullyWithWhatWentOut) {
  OpenPort open(Dcb(), CommTimeouts{0, 0, 0, 0, 100});
  ASSERT_TRUE(open.port);
  Engine engine(*open.port);
  std::vector<uint8_t> data = RandomBytes(1 << 20, 5);  // more than the line holds; nobody reads
  uint32_t done = 0;
  ASSERT_EQ(open.port->StartWrite(data.data(), static_cast<uint32_t>(data.size()), &done),
            IoStart::kPending);
  IoResult result = engine.FinishData();
  EXPECT_EQ(result.status, IoResult::kOk);
  EXPECT_GT(result.value, 0u);
  EXPECT_LT(result.value, data.size());
  std::vector<uint8_t> arrived = open.pair.ReadAvailable(result.value + 1, 1000);
  EXPECT_EQ(arrived, std::vector<uint8_t>(data.begin(), data.begin() + result.value));
}

TEST(SerialPortData, NullBytesDroppedOnlyWithFNullAndAllOtherBytesIntact) {
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  // Sequences that look like error marks when 0xFF is not escaped.
  for (uint8_t byte : {0xFF, 0x00, 0x41, 0xFF, 0x00, 0x00, 0xFF, 0xFF}) all.push_back(byte);

  {
    OpenPort open(Dcb(), CommTimeouts{100, 0, 0, 0, 0});
    ASSERT_TRUE(open.port);
    Engine engine(*open.port);
    open.pair.Write(all);
    EXPECT_EQ(engine.ReadExactly(all.size()), all);
    uint32_t errors = 1;
    platform::ComStat stat{};
    ASSERT_TRUE(open.port->ClearError(&errors, &stat));
    EXPECT_EQ(errors, 0u);
    EXPECT_FALSE(engine.TakeEvents() & (platform::kEvErr | platform::kEvBreak));
  }
  PortDcb dropping = Dcb();
  dropping.fNull = 1;
  OpenPort open(dropping, CommTimeouts{100, 0, 0, 0, 0});
  ASSERT_TRUE(open.port);
  Engine engine(*open.port);
  open.pair.Write(std::vector<uint8_t>{'A', 0, 'B', 0, 0, 'C', 0});
  open.pair.Write(all);
  std::vector<uint8_t> expected = Bytes("ABC");
  for (uint8_t byte : all) {
    if (byte != 0) expected.push_back(byte);
  }
  EXPECT_EQ(engine.ReadExactly(expected.size()), expected);
}

TEST(SerialPortClose, CloseFromAnotherThreadAbortsEverythingAndFreesThePort) {
  OpenPort open(Dcb(), CommTimeouts{500, 500, 500, 500, 500});
  ASSERT_TRUE(open.port);
  std::shared_ptr<SerialPort> engineRef = open.port;
  uint8_t buffer[1024];
  uint32_t done = 0;
  uint32_t mask = 0;
  ASSERT_EQ(engineRef->StartRead(buffer, sizeof buffer, &done), IoStart::kPending);
  ASSERT_EQ(engineRef->StartEventWait(&mask), IoStart::kPending);

  std::atomic<bool> started{false};
  IoResult data{};
  IoResult event{};
  WaitResult again[3];
  std::thread engine([&] {
    started = true;
    WaitResult first = engineRef->WaitForAny();  // would last 512 s without the close
    EXPECT_EQ(first, WaitResult::kData);
    data = engineRef->DataResult();
    for (WaitResult& result : again) result = engineRef->WaitForAny();
    event = engineRef->EventResult();
  });
  while (!started.load()) std::this_thread::yield();
  open.port->Close();
  engine.join();
  EXPECT_EQ(data.status, IoResult::kAborted);
  EXPECT_EQ(event.status, IoResult::kAborted);
  for (WaitResult result : again) EXPECT_NE(result, WaitResult::kFailed);

  // The engine still holds its reference; the next run opens the port at once and gets the
  // bytes: the old object takes none of them.
  auto next = platform::OpenSerialPort("COM3", open.dir.path().c_str());
  ASSERT_TRUE(next) << "errno " << errno;
  ASSERT_TRUE(next->SetEventMask(0x1FF));
  ASSERT_TRUE(next->SetState(Dcb()));
  ASSERT_TRUE(next->SetTimeouts(CommTimeouts{100, 0, 0, 0, 0}));
  EXPECT_EQ(engineRef->StartRead(buffer, 1, &done), IoStart::kFailed);
  EXPECT_NE(engineRef->WaitForAny(), WaitResult::kFailed);
  open.pair.Write(Bytes("next"));
  Engine nextEngine(*next);
  EXPECT_EQ(nextEngine.ReadExactly(4), Bytes("next"));
}

TEST(SerialPortLines, TransmitCharModemStatusAndComStatOnAPseudoTerminal) {
  OpenPort open;
  ASSERT_TRUE(open.port);
  ASSERT_TRUE(open.port->TransmitChar(3));
  EXPECT_EQ(open.pair.ReadAvailable(1, 5000), std::vector<uint8_t>{3});

  uint32_t status = 0xFFFF;
  ASSERT_TRUE(open.port->ModemStatus(&status));
  EXPECT_EQ(status, 0u);  // no modem lines: lamps off, no failure

  Engine engine(*open.port);
  open.pair.Write(Bytes("abc"));
  engine.AwaitInput(3);
  uint32_t errors = 0xFFFF;
  platform::ComStat stat{0xFF, 0, 0xFF};
  ASSERT_TRUE(open.port->ClearError(&errors, &stat));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(stat.bits, 0u);
  EXPECT_EQ(stat.inQueue, 3u);
  EXPECT_EQ(stat.outQueue, 0u);
}

TEST(SerialPortLines, HangUpFailsOutstandingOperationsInsteadOfSpinning) {
  int master = -1;
  int device = -1;
  char name[256] = {};
  ASSERT_EQ(openpty(&master, &device, name, nullptr, nullptr), 0);
  auto port = platform::OpenSerialPort(name, nullptr);
  close(device);
  ASSERT_TRUE(port);
  ASSERT_TRUE(port->SetEventMask(0x1FF));
  ASSERT_TRUE(port->SetState(Dcb()));
  ASSERT_TRUE(port->SetTimeouts(CommTimeouts{500, 500, 500, 500, 500}));
  Engine engine(*port);
  ASSERT_EQ(write(master, "ab", 2), 2);
  engine.AwaitInput(2);
  uint8_t buffer[64];
  uint32_t done = 0;
  uint32_t mask = 0;
  ASSERT_EQ(port->StartRead(buffer, sizeof buffer, &done), IoStart::kPending);
  IoStart wait;
  while ((wait = port->StartEventWait(&mask)) == IoStart::kCompleted) {
  }
  ASSERT_EQ(wait, IoStart::kPending);
  close(master);
  // What came before the hang-up is delivered, then the wait and the next read fail.
  ASSERT_EQ(port->WaitForAny(), WaitResult::kData);
  IoResult first = port->DataResult();
  EXPECT_EQ(first.status, IoResult::kOk);
  EXPECT_EQ(first.value, 2u);
  ASSERT_EQ(port->WaitForAny(), WaitResult::kEvent);
  EXPECT_EQ(port->EventResult().status, IoResult::kFailed);
  EXPECT_EQ(port->StartRead(buffer, sizeof buffer, &done), IoStart::kFailed);
  EXPECT_EQ(errno, EIO);
}

TEST(LineDecoder, StripsMarksCountsErrorsAndCompletesSplitMarks) {
  platform::LineDecoder decoder;
  decoder.Configure(true, false, 3, false, 0);
  uint8_t out[32];
  const uint8_t marked[] = {'a', 0xFF, 0xFF, 'b', 0xFF, 0x00, 'x', 0xFF, 0x00, 0x00, 3};
  platform::LineDecoder::Result result = decoder.Decode(marked, sizeof marked, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + result.bytes),
            (std::vector<uint8_t>{'a', 0xFF, 'b', 'x', 3}));
  EXPECT_EQ(result.errors, 1u);
  EXPECT_EQ(result.breaks, 1u);
  EXPECT_TRUE(result.eventChar);

  // A mark split over three deliveries.
  const uint8_t part1[] = {'c', 0xFF};
  const uint8_t part2[] = {0x00};
  const uint8_t part3[] = {'y', 'd'};
  size_t total = decoder.Decode(part1, 2, out).bytes;
  total += decoder.Decode(part2, 1, out + total).bytes;
  result = decoder.Decode(part3, 2, out + total);
  total += result.bytes;
  EXPECT_EQ(std::vector<uint8_t>(out, out + total), (std::vector<uint8_t>{'c', 'y', 'd'}));
  EXPECT_EQ(result.errors, 1u);
  EXPECT_FALSE(result.eventChar);

  // A lone 0xFF left when the device has nothing more was data, not a mark.
  const uint8_t lone[] = {0xFF};
  EXPECT_EQ(decoder.Decode(lone, 1, out).bytes, 0u);
  result = decoder.Flush(out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + result.bytes), std::vector<uint8_t>{0xFF});

  // Errors replaced by the error character; zero bytes dropped.
  decoder.Configure(true, true, 3, true, '?');
  const uint8_t mixed[] = {0, 'e', 0xFF, 0x00, 'z', 0};
  result = decoder.Decode(mixed, sizeof mixed, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + result.bytes), (std::vector<uint8_t>{'e', '?'}));
}

// Long runs between marks go whole: a stream full of marks gives the same data, errors, breaks
// and event character whether it comes at once, in uneven pieces or one byte at a time.
TEST(LineDecoder, PiecesOfAnySizeDecodeAsTheWholeStream) {
  std::vector<uint8_t> stream = RandomBytes(20000, 9);
  for (size_t at = 0; at + 3 < stream.size(); at += 97) {
    const uint8_t marks[][3] = {{0xFF, 0xFF, 'a'}, {0xFF, 0x00, 'e'}, {0xFF, 0x00, 0x00}};
    std::memcpy(&stream[at], marks[at % 3], 3);
  }
  auto decode = [&stream](size_t piece) {
    platform::LineDecoder decoder;
    decoder.Configure(true, false, '\n', false, 0);
    std::vector<uint8_t> out(stream.size() + 2);
    platform::LineDecoder::Result total;
    for (size_t at = 0; at < stream.size();) {
      const size_t size = std::min(piece == 1 ? 1 : piece + at % 7, stream.size() - at);
      const platform::LineDecoder::Result part =
          decoder.Decode(stream.data() + at, size, out.data() + total.bytes);
      at += size;
      total.bytes += part.bytes;
      total.errors += part.errors;
      total.breaks += part.breaks;
      total.eventChar = total.eventChar || part.eventChar;
    }
    out.resize(total.bytes);
    return std::make_tuple(out, total.errors, total.breaks, total.eventChar);
  };
  const auto whole = decode(stream.size());
  EXPECT_GT(std::get<1>(whole), 60u);
  EXPECT_GT(std::get<2>(whole), 60u);
  EXPECT_TRUE(std::get<3>(whole));
  EXPECT_EQ(decode(1), whole);
  EXPECT_EQ(decode(13), whole);
  EXPECT_EQ(decode(1000), whole);
}

}  // namespace
