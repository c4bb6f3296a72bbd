// Ports on the network against a real device server: ser2net on 127.0.0.1 whose serial device is
// the test's own pseudo-terminal, given modem lines and a frame by the shim.

#include <termios.h>

#include "engine/engine_fixture.h"
#include "frontend/headless/headless_app.h"
#include "support/child_process.h"
#include "support/device_server.h"

// libgensio keeps the record of a serial request that a lost connection never answered.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:sergensio_baud\n";
}

namespace {

const std::string kEnd(1, '\x03');

// Waits for a setting of the device with even parity after the first `seen`.
bool GetsEvenParity(const DeviceServer& server, size_t seen) {
  return WaitUntil([&] {
    const std::vector<std::string> lines = server.Settings();
    for (size_t i = seen; i < lines.size(); ++i) {
      const unsigned long cflag = std::stoul(lines[i], nullptr, 8);
      if ((cflag & PARENB) && !(cflag & PARODD)) return true;
    }
    return false;
  });
}

// ser2net serving the test's pty in the test's directory.
class TestDeviceServer : public DeviceServer {
 public:
  TestDeviceServer(const TempDir& dir, const std::string& device, const std::string& accepter)
      : DeviceServer(dir.path(), TAZO_PTY_SHIM, device, accepter) {
    EXPECT_TRUE(started()) << Output();
  }
};

speed_t DeviceRate(const PtyPair& pty) {
  termios line{};
  tcgetattr(pty.master(), &line);
  return cfgetospeed(&line);
}

// The engines with COM1 a port file naming the device server.
class NetworkPortTest : public EngineTest {
 protected:
  void NamePort(const std::string& address) {
    unlink(dir.File("COM1").c_str());
    dir.Write("COM1", address + "\n");
  }
  // Receives `data` sent by the device, once the program is connected.
  void Receive(const DeviceServer& server, const std::vector<uint8_t>& data, bool configured) {
    const size_t seen = server.Settings().size();
    UseFile("in.bin", 1);
    StartStopTransfer();
    if (configured) {
      ASSERT_TRUE(GetsEvenParity(server, seen));
      // The far port's modem lines (the shim's CTS, DSR and CD) come back.
      EXPECT_TRUE(WaitFor([] {
        uint32_t lines = 0;
        const std::shared_ptr<platform::SerialPort> port = app.portHandle.Get();
        return port && port->ModemStatus(&lines) &&
               lines == (platform::kMsCtsOn | platform::kMsDsrOn | platform::kMsRlsdOn);
      }));
      // Held by this run alone.
      errno = 0;
      EXPECT_FALSE(platform::OpenSerialPort("COM1", dir.path().c_str()));
      EXPECT_EQ(errno, EBUSY);
    } else {
      ASSERT_TRUE(WaitFor([] { return app.portHandle.IsOpen(); }));
    }
    pty.Write(data);
    // The end byte comes alone, to a read that waits.
    ASSERT_TRUE(WaitFor([&] { return app.bytesReceived.load() == static_cast<int>(data.size()); }));
    pty.Write(kEnd);
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(dir.Read("in.bin"), data) << Box();
  }
  // Sends `data` and reads it on the device: the bytes, then the end byte after its pause.
  void Send(const std::vector<uint8_t>& data) {
    dir.Write("out.bin", data);
    UseFile("out.bin", 0);
    StartStopTransfer();
    const std::vector<PtyPair::TimedByte> got = pty.ReadUntilSilence(3000, 60000);
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_EQ(got.size(), data.size() + 1) << Box();
    std::vector<uint8_t> bytes;
    for (const PtyPair::TimedByte& timed : got) bytes.push_back(timed.byte);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1), data);
    EXPECT_EQ(bytes.back(), 3);
    EXPECT_GE(got.back().atMs - got[got.size() - 2].atMs, 1000u);
    EXPECT_EQ(FailureLines(Box()), 0) << Box();
  }
};

}  // namespace

// The rate and the frame go to the far port; a send's writes last as long as the far line needs
// for them, so that the end byte's pause starts when the line is quiet; a receive gets it all.
TEST_F(NetworkPortTest, SendsAndReceivesOverRfc2217WithTheLineSetOnTheFarPort) {
  TestDeviceServer server(dir, pty.devicePath(), "telnet(rfc2217),tcp");
  NamePort("telnet(rfc2217),tcp,127.0.0.1," + std::to_string(server.port()));
  app.portDcb.BaudRate = 19200;
  app.portDcb.Parity = dcb::kEvenParity;
  app.portDcb.fParity = 1;

  const std::vector<uint8_t> data = DataWithoutEndMark(2048, 7);
  const uint64_t start = platform::MonotonicMilliseconds();
  Send(data);
  // 2048 characters of 11 bits at 19200 baud, then the pause.
  EXPECT_GE(platform::MonotonicMilliseconds() - start, 1173u + 1000u);
  EXPECT_TRUE(GetsEvenParity(server, 0));
  Receive(server, DataWithoutEndMark(5000, 8), true);
  EXPECT_EQ(DeviceRate(pty), B19200);
}

// A raw connection carries the bytes with the device server's own settings; TLS the same as
// RFC 2217 under a certificate the test makes.
TEST_F(NetworkPortTest, RawAndTlsConnectionsCarryFilesBothWays) {
  {
    SCOPED_TRACE("raw");
    TestDeviceServer server(dir, pty.devicePath(), "tcp");
    NamePort("tcp,127.0.0.1," + std::to_string(server.port()));
    // No event character: the end byte, alone in its read, is cut by the pause after it.
    app.portDcb.EvtChar = 0;
    Send(DataWithoutEndMark(300, 1));
    Receive(server, DataWithoutEndMark(3000, 2), false);
    EXPECT_EQ(DeviceRate(pty), B9600);
    for (const std::string& setting : server.Settings()) {
      EXPECT_FALSE(std::stoul(setting, nullptr, 8) & PARENB) << setting;
    }
    server.Stop();
  }
  SCOPED_TRACE("TLS");
  ChildProcess openssl("/usr/bin/openssl",
                       {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-keyout",
                        dir.File("key.pem"), "-out", dir.File("cert.pem")},
                       dir.File("openssl.out"), "");
  ASSERT_EQ(openssl.WaitForExit(30000), 0) << openssl.Output();
  TestDeviceServer server(
      dir, pty.devicePath(),
      "telnet(rfc2217),ssl(key=" + dir.File("key.pem") + ",cert=" + dir.File("cert.pem") + "),tcp");
  NamePort("telnet(rfc2217),ssl(CA=" + dir.File("cert.pem") + "),tcp,127.0.0.1," +
           std::to_string(server.port()));
  app.portDcb.Parity = dcb::kEvenParity;
  Send(DataWithoutEndMark(300, 3));
  Receive(server, DataWithoutEndMark(3000, 4), true);
}

// A send stopped mid-way ends at once; the device server going away mid-send is reported as a
// device that goes away. The program is idle after either.
TEST_F(NetworkPortTest, StopAndLostConnectionMidSendLeaveTheProgramIdle) {
  TestDeviceServer server(dir, pty.devicePath(), "telnet(rfc2217),tcp");
  NamePort("telnet(rfc2217),tcp,127.0.0.1," + std::to_string(server.port()));
  dir.Write("out.bin", DataWithoutEndMark(64 * 1024, 5));
  UseFile("out.bin", 0);
  // Stopped by the user first: nothing to report, and the port is free for the next run at once.
  StartStopTransfer();
  ASSERT_FALSE(pty.ReadAvailable(1, 30000).empty());
  StartStopTransfer();
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(FailureLines(Box()), 0) << Box();
  pty.ReadAvailable(1u << 20, 200);
  StartStopTransfer();
  ASSERT_FALSE(pty.ReadAvailable(1, 30000).empty()) << Box();
  server.Stop();
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(FailureLines(Box()), 1) << Box();
  EXPECT_NE(Box().find("(C:5) "), std::string::npos) << Box();
  EXPECT_FALSE(app.portHandle.IsOpen());
}

// What cannot be a port is refused before anything is opened; a server that is not there is
// the report of a device that is not there, with its own code.
TEST_F(NetworkPortTest, RefusedConnectionsAndUnsafeAddressesAreReportedOnOpening) {
  const struct {
    std::string content;
    const char* report;
  } cases[] = {
      {"telnet(rfc2217),tcp,127.0.0.1," + std::to_string(FreeTcpPort()) + "\n",
       "(C:111) opening port\r\n"},
      {"stdio,touch " + dir.File("ran") + "\n", "(C:22) opening port\r\n"},
      {"file(outfile=" + dir.File("written") + ")\n", "(C:22) opening port\r\n"},
      {"\r\n", "(C:22) opening port\r\n"},
      {std::string(2000, 'x'), "(C:22) opening port\r\n"},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.content.substr(0, 60));
    unlink(dir.File("COM1").c_str());
    dir.Write("COM1", entry.content);
    UseFile("in.bin", 1);
    surface.SetText(ErrorsBox, "");
    StartStopTransfer();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_NE(Box().find(entry.report), std::string::npos) << Box();
  }
  EXPECT_FALSE(dir.Exists("ran"));
  EXPECT_FALSE(dir.Exists("written"));
}

// The listen service over RFC 2217: the line from tazo.ini on the far port, a request answered,
// and the next one answered after the device server has restarted.
TEST(NetworkServiceTest, AnswersRequestsBeforeAndAfterTheDeviceServerRestarts) {
  TempDir dir;
  PtyPair pty;
  dir.Write("part.nc", "G01 X1\r\nM30\r\n");
  PortSettings settings = MachineLineSettings("19200", dir.path());
  settings.parityIndex = 0;  // even
  ASSERT_TRUE(WriteSettingsFile(dir.File("tazo.ini"), settings));
  TestDeviceServer server(dir, pty.devicePath(), "telnet(rfc2217),tcp");
  dir.Write("COM1", "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(server.port()) + "\n");
  ChildProcess service(TAZO_SERVICE_PROGRAM, {dir.path()}, dir.File("service.out"),
                       dir.File("service.err"));
  ASSERT_TRUE(service.started());

  auto answers = [&](size_t seen) {
    EXPECT_TRUE(GetsEvenParity(server, seen)) << service.Output() << service.Errors();
    EXPECT_EQ(DeviceRate(pty), B19200);
    pty.Write("%MPF999\r\nSENDFILE part.nc\r\n" + kEnd);
    std::string reply;
    WaitUntil([&] {
      for (uint8_t byte : pty.ReadAvailable(4096, 100)) reply.push_back(static_cast<char>(byte));
      return reply.find(kEnd) != std::string::npos;
    });
    EXPECT_NE(reply.find("G01 X1\r\nM30\r\n" + kEnd), std::string::npos) << reply;
  };
  answers(0);
  const size_t seen = server.Settings().size();
  server.Stop();
  ASSERT_TRUE(server.Start()) << server.Output();
  answers(seen);
  service.Signal(SIGTERM);
  EXPECT_EQ(service.WaitForExit(10000), 0) << service.Errors();
}
