#include "platform/posix/serial_termios.h"

#include <cerrno>

namespace platform {

namespace {

struct StandardRate {
  uint32_t rate;
  speed_t code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool StandardRateCode(uint32_t rate, speed_t* code) {
  for (const StandardRate& standard : kStandardRates) {
    if (standard.rate == rate) {
      *code = standard.code;
      return true;
    }
  }
  return false;
}

bool Fail() {
  errno = EINVAL;
  return false;
}

}  // namespace

void MakeRawMarked(termios* settings) {
  settings->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR |
                                              ICRNL | IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
  settings->c_iflag |= PARMRK | INPCK;
  settings->c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings->c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings->c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  settings->c_cflag |= CS8 | CREAD | CLOCAL;
  settings->c_cc[VMIN] = 1;
  settings->c_cc[VTIME] = 0;
}

bool BuildLineSettings(const PortDcb& dcb, termios* settings, LineOptions* options) {
  if (dcb.BaudRate == 0) return Fail();  // B0 would hang the line up
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return Fail();
  if (dcb.Parity > dcb::kSpaceParity) return Fail();
  switch (dcb.StopBits) {
    case dcb::kOneStopBit:
      break;
    case dcb::kOne5StopBits:  // a UART sends 1.5 stop bits only after 5 data bits
      if (dcb.ByteSize != 5) return Fail();
      break;
    case dcb::kTwoStopBits:
      if (dcb.ByteSize == 5) return Fail();
      break;
    default:
      return Fail();
  }
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return Fail();

  MakeRawMarked(settings);
  tcflag_t& cflag = settings->c_cflag;
  cflag &= ~static_cast<tcflag_t>(CSIZE);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  cflag |= kSizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case dcb::kOddParity:
      cflag |= PARENB | PARODD;
      break;
    case dcb::kEvenParity:
      cflag |= PARENB;
      break;
    case dcb::kMarkParity:
      cflag |= PARENB | CMSPAR | PARODD;
      break;
    case dcb::kSpaceParity:
      cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (dcb.StopBits != dcb::kOneStopBit) cflag |= CSTOPB;
  // The kernel knows CTS output flow and RTS input flow only together. Output flow is what a
  // peer relies on (a line that never raises CTS must not stall a send that did not ask for it);
  // RTS handshake alone keeps RTS on, and the input queue is read fast enough not to need it.
  if (dcb.fOutxCtsFlow) cflag |= CRTSCTS;

  tcflag_t& iflag = settings->c_iflag;
  // Without parity the check only reveals framing errors, which Windows reports in any case; with
  // parity but checking off, erroneous bytes pass unmarked as they do there.
  bool checked = dcb.fParity || dcb.Parity == dcb::kNoParity;
  if (!checked) iflag &= ~static_cast<tcflag_t>(INPCK);
  if (dcb.fOutX) iflag |= IXON;
  if (dcb.fInX) iflag |= IXOFF;
  settings->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  settings->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

  options->baudRate = dcb.BaudRate;
  options->bitsPerChar = 1u + dcb.ByteSize + (dcb.Parity != dcb::kNoParity ? 1u : 0u) +
                         (dcb.StopBits == dcb::kOneStopBit ? 1u : 2u);
  options->dropNull = dcb.fNull != 0;
  options->eventChar = static_cast<uint8_t>(dcb.EvtChar);
  options->replaceErrors = dcb.fErrorChar != 0;
  options->errorChar = static_cast<uint8_t>(dcb.ErrorChar);
  options->parityChecked = dcb.fParity && dcb.Parity != dcb::kNoParity;
  options->ctsFlow = dcb.fOutxCtsFlow != 0;
  options->dsrFlow = dcb.fOutxDsrFlow != 0;
  options->dsrSensitive = dcb.fDsrSensitivity != 0;
  // No DTR input handshake exists here: handshake keeps DTR on, as RTS toggle and RTS handshake
  // without CTS flow keep RTS on.
  options->dtrOn = dcb.fDtrControl != dcb::kDtrDisable;
  options->rtsOn = dcb.fRtsControl != dcb::kRtsDisable;
  return true;
}

namespace {

bool ApplyUnchecked(int fd, const termios& settings, uint32_t rate) {
  speed_t code = B0;
  if (StandardRateCode(rate, &code)) {
    termios line = settings;
    if (cfsetispeed(&line, code) != 0 || cfsetospeed(&line, code) != 0) return false;
    return tcsetattr(fd, TCSANOW, &line) == 0;
  }
  KernelLineSettings line{};
  line.iflag = settings.c_iflag;
  line.oflag = settings.c_oflag;
  line.cflag = settings.c_cflag & ~static_cast<tcflag_t>(CBAUD);
  line.lflag = settings.c_lflag;
  line.vmin = settings.c_cc[VMIN];
  line.vtime = settings.c_cc[VTIME];
  line.vstart = settings.c_cc[VSTART];
  line.vstop = settings.c_cc[VSTOP];
  return ApplyArbitraryRate(fd, line, rate);
}

// A driver puts back what it cannot do instead of refusing it: the frame and the rate in effect
// are read back, and a configuration that did not take is refused, as a Windows driver refuses it.
bool TookEffect(int fd, const termios& wanted, uint32_t rate) {
  termios actual{};
  if (tcgetattr(fd, &actual) != 0) return false;
  constexpr tcflag_t kFrame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  if ((actual.c_cflag & kFrame) != (wanted.c_cflag & kFrame)) return false;
  uint32_t actualRate = 0;
  if (!ReadOutputRate(fd, &actualRate)) return true;  // nothing more to learn
  // A divisor gives the nearest rate it can; within 3% the peer still reads every character.
  const uint64_t asked = rate;
  return static_cast<uint64_t>(actualRate) * 100 >= asked * 97 &&
         static_cast<uint64_t>(actualRate) * 100 <= asked * 103;
}

bool Refused() {
  errno = EINVAL;
  return false;
}

}  // namespace

bool ApplyLineSettings(int fd, const termios& settings, uint32_t rate) {
  if (!ApplyUnchecked(fd, settings, rate)) return false;
  return TookEffect(fd, settings, rate) || Refused();
}

}  // namespace platform
