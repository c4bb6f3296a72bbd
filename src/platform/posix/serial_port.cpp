#include "platform/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/code_page.h"
#include "platform/posix/network_serial_port.h"
#include "platform/posix/port_operations.h"
#include "platform/posix/serial_device_path.h"
#include "platform/posix/serial_line_decoder.h"
#include "platform/posix/serial_termios.h"
#include "platform/system.h"

namespace platform {

namespace {

constexpr size_t kQueueCapacity = 64 * 1024;
// Room kept free for a partial error mark that turns out to be data.
constexpr size_t kReadReserve = 2;
// What one read of the device takes at most (a pseudo-terminal hands out no more at a time).
constexpr size_t kReadChunk = 4096;
// Arrivals smaller than this come from a line at its own pace, not from a burst: the wait for the
// rest of a read lets them gather this long before it looks again.
constexpr size_t kSmallArrival = 512;
constexpr uint64_t kGatherMs = 40;
// Modem lines and error counters give no notice of a change: they are looked at this often while
// someone waits for their events.
constexpr uint64_t kLineCheckMs = 100;
// With DSR output flow the line is fed this many bytes at a time, DSR looked at before each.
constexpr size_t kDsrFlowSlice = 16;
// Device numbers of pseudo-terminal device ends (Unix98 and legacy).
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;
constexpr unsigned kLegacyPtySlaveMajor = 3;

// A bounded ring of received bytes that no read has taken yet.
class InputQueue {
 public:
  InputQueue() : bytes_(kQueueCapacity) {}
  size_t size() const { return size_; }
  size_t room() const { return bytes_.size() - size_; }
  void Push(const uint8_t* data, size_t count) {
    size_t tail = (head_ + size_) % bytes_.size();
    size_t first = std::min(count, bytes_.size() - tail);
    std::memcpy(bytes_.data() + tail, data, first);
    std::memcpy(bytes_.data(), data + first, count - first);
    size_ += count;
  }
  size_t Take(uint8_t* out, size_t count) {
    count = std::min(count, size_);
    size_t first = std::min(count, bytes_.size() - head_);
    std::memcpy(out, bytes_.data() + head_, first);
    std::memcpy(out + first, bytes_.data(), count - first);
    head_ = (head_ + count) % bytes_.size();
    size_ -= count;
    return count;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t head_ = 0;
  size_t size_ = 0;
};

// A pseudo-terminal has no line to garble a byte or send a break: nothing is ever marked, and
// without marking its driver hands the bytes over whole instead of one at a time.
void UnmarkPseudoTerminal(termios* settings) {
  settings->c_iflag &= ~static_cast<tcflag_t>(PARMRK | INPCK);
}

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort(int fd, int wakeFd, const termios& original, bool pseudo, bool modemLines,
                  bool counters, const serial_icounter_struct& icount)
      : fd_(fd),
        wakeFd_(wakeFd),
        original_(original),
        pseudo_(pseudo),
        modemLines_(modemLines),
        counters_(counters),
        icount_(icount) {
    if (modemLines_) ioctl(fd_, TIOCMGET, &lines_);
    decoder_.Configure(!pseudo_, false, 0, false, 0);
  }

  ~PosixSerialPort() override {
    Release();
    close(wakeFd_);
    close(fd_);
  }

  bool SetEventMask(uint32_t mask) override {
    if (!Usable()) return false;
    mask_ = mask;
    pendingEvents_ = 0;
    // A new mask completes a waiting comm-event wait with nothing, as on Windows.
    if (event_.state == kPending) CompleteEvent(IoResult{IoResult::kOk, 0});
    lineCheckAt_ = MonotonicMilliseconds();
    return true;
  }

  bool SetState(const PortDcb& dcb) override {
    if (!Usable()) return false;
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) return false;
    LineOptions options;
    if (!BuildLineSettings(dcb, &settings, &options)) return false;
    if (pseudo_) {
      // A pseudo-terminal always carries 8-bit bytes without parity and refuses some requests
      // for anything else; the rest of the configuration still applies.
      settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR);
      settings.c_cflag |= CS8;
      UnmarkPseudoTerminal(&settings);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return FailWith(EBADF);
      if (!ApplyLineSettings(fd_, settings, options.baudRate)) return false;
      // Devices without modem lines refuse these; nothing depends on them there.
      int dtr = TIOCM_DTR;
      ioctl(fd_, options.dtrOn ? TIOCMBIS : TIOCMBIC, &dtr);
      int rts = TIOCM_RTS;
      ioctl(fd_, options.rtsOn ? TIOCMBIS : TIOCMBIC, &rts);
    }
    options_ = options;
    decoder_.Configure(!pseudo_, options.dropNull, options.eventChar, options.replaceErrors,
                       options.errorChar);
    if (modemLines_) ioctl(fd_, TIOCMGET, &lines_);
    return true;
  }

  bool SetTimeouts(const CommTimeouts& timeouts) override {
    if (!Usable() || !TimeoutsAccepted(timeouts)) return false;
    timeouts_ = timeouts;
    return true;
  }

  IoStart StartRead(uint8_t* buffer, uint32_t size, uint32_t* done) override {
    if (!Usable() || data_.state != kIdle) return FailStart(IsClosed() ? EBADF : EINVAL);
    // While the queue holds the read and has no room for a whole chunk, the device is left
    // alone: reading it in chunks rather than a block's worth at a time saves calls.
    if (queue_.size() >= size && queue_.room() < kReadChunk + kReadReserve) {
      *done = static_cast<uint32_t>(queue_.Take(buffer, size));
      return IoStart::kCompleted;
    }
    Service(POLLIN, MonotonicMilliseconds(), true);
    // After a failure of the device what it delivered before is still handed out.
    if (failure_ && queue_.size() == 0) return FailStart(failure_);
    if (queue_.size() >= size || failure_ != 0 || ReadsAtOnce(timeouts_)) {
      *done = static_cast<uint32_t>(queue_.Take(buffer, size));
      return IoStart::kCompleted;
    }
    const uint64_t now = MonotonicMilliseconds();
    StartPendingRead(&data_, timeouts_, buffer, size, now);
    FeedRead(now);  // bytes already waiting count as just arrived
    return IoStart::kPending;
  }

  IoStart StartWrite(const uint8_t* buffer, uint32_t size, uint32_t* done) override {
    if (!StartData()) return IoStart::kFailed;
    const uint64_t now = MonotonicMilliseconds();
    StartPendingWrite(&data_, timeouts_, buffer, size, now);
    PushOutput(now);
    if (data_.state == kDone) {
      IoResult result = data_.result;
      data_.state = kIdle;
      if (result.status != IoResult::kOk) return FailStart(data_.error);
      *done = result.value;
      return IoStart::kCompleted;
    }
    return IoStart::kPending;
  }

  IoStart StartEventWait(uint32_t* mask) override {
    if (!Usable()) return IoStart::kFailed;
    if (event_.state != kIdle || mask_ == 0) return FailStart(EINVAL);
    if (failure_) return FailStart(failure_);
    Service(POLLIN, MonotonicMilliseconds(), true);
    if (pendingEvents_ & mask_) {
      *mask = pendingEvents_ & mask_;
      pendingEvents_ = 0;
      return IoStart::kCompleted;
    }
    event_.state = kPending;
    lineCheckAt_ = std::min(lineCheckAt_, AddMs(MonotonicMilliseconds(), kLineCheckMs));
    return IoStart::kPending;
  }

  WaitResult WaitForAny() override {
    for (;;) {
      if (IsClosed()) {
        return event_.state != kIdle && data_.state == kIdle ? WaitResult::kEvent
                                                             : WaitResult::kData;
      }
      if (data_.state == kDone) return WaitResult::kData;
      if (event_.state == kDone) return WaitResult::kEvent;
      if (data_.state == kIdle && event_.state == kIdle) {
        errno = EINVAL;
        return WaitResult::kFailed;
      }
      uint64_t now = MonotonicMilliseconds();
      uint64_t wake = NextDeadline();
      int timeout = -1;
      if (wake != kNever)
        timeout = wake <= now ? 0 : static_cast<int>(std::min<uint64_t>(wake - now, 1u << 30));
      pollfd fds[2] = {{fd_, 0, 0}, {wakeFd_, POLLIN, 0}};
      if (queue_.room() > kReadReserve) fds[0].events |= POLLIN;
      // A write whose bytes are all with the driver, or that goes in slices, waits for the
      // drain by time: the device would report itself writable all along.
      if (data_.state == kPending && !data_.reading && data_.done < data_.size &&
          !OutputHeldByDsr() && !FedInSlices()) {
        fds[0].events |= POLLOUT;
      }
      // A line at its own pace brings a few bytes at a time: a read that has begun and waits
      // for more lets them gather a moment (Close still ends the wait at once), rather than
      // waking for each few bytes. Its pause is measured from a byte seen at most that late.
      if (data_.state == kPending && data_.reading && data_.done > 0 && lastArrival_ > 0 &&
          lastArrival_ < kSmallArrival) {
        lastArrival_ = 0;
        const uint64_t gatherUntil = std::min(wake, AddMs(now, kGatherMs));
        if (gatherUntil > now) {
          PauseUntil(gatherUntil);
          continue;
        }
      }
      int ready = poll(fds, 2, timeout);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return WaitResult::kFailed;
      }
      Service(fds[0].revents, MonotonicMilliseconds(), false);
    }
  }

  IoResult DataResult() override { return FetchResult(IsClosed(), &data_); }

  IoResult EventResult() override { return FetchResult(IsClosed(), &event_); }

  bool ClearError(uint32_t* errors, ComStat* status) override {
    if (!Usable()) return false;
    *errors = errors_;
    errors_ = 0;
    ComStat stat{};
    if (modemLines_) {
      int lines = 0;
      if (ioctl(fd_, TIOCMGET, &lines) == 0) lines_ = lines;
      if (options_.ctsFlow && !(lines_ & TIOCM_CTS)) stat.bits |= kCtsHold;
      if (options_.dsrFlow && !(lines_ & TIOCM_DSR)) stat.bits |= kDsrHold;
    }
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) waiting = 0;
    stat.inQueue = static_cast<uint32_t>(queue_.size() + static_cast<size_t>(waiting));
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) queued = 0;
    stat.outQueue = static_cast<uint32_t>(queued);
    if (data_.state == kPending && !data_.reading) stat.outQueue += data_.size - data_.done;
    *status = stat;
    return true;
  }

  bool ModemStatus(uint32_t* status) override {
    if (!Usable()) return false;
    *status = 0;
    int lines = 0;
    if (!modemLines_ || ioctl(fd_, TIOCMGET, &lines) != 0) return true;
    if (lines & TIOCM_CTS) *status |= kMsCtsOn;
    if (lines & TIOCM_DSR) *status |= kMsDsrOn;
    if (lines & TIOCM_RNG) *status |= kMsRingOn;
    if (lines & TIOCM_CD) *status |= kMsRlsdOn;
    return true;
  }

  // The character waits out a hold of the output (XOFF, CTS, DSR) as queued data does, for as
  // long as the hold lasts: a machine may hold the line for seconds while its buffer drains, and
  // only Close ends the wait.
  bool TransmitChar(uint8_t character) override {
    if (!Usable()) return false;
    if (failure_) return FailWith(failure_);
    if (!WaitWhileDsrHoldsOutput()) return false;
    bool hungUp = false;
    for (;;) {
      ssize_t written;
      int error;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return FailWith(EBADF);
        written = write(fd_, &character, 1);
        error = errno;
      }
      if (written == 1) {
        ArmTxEmpty(MonotonicMilliseconds());
        // Sent only once it has left the driver: a close right after must not take it along.
        return WaitUntilSent();
      }
      if (written < 0 && error != EAGAIN && error != EINTR) return FailWith(error);
      // A device that reports a hang-up yet takes nothing would keep the wait spinning.
      if (hungUp && written < 0 && error == EAGAIN) return FailWith(EIO);
      // A pseudo-terminal under XOFF takes nothing until XON.
      pollfd fds[2] = {{fd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
      if (poll(fds, 2, -1) > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) hungUp = true;
    }
  }

  void Close() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return;
      ReleaseLocked();
    }
    uint64_t one = 1;
    ssize_t ignored = write(wakeFd_, &one, sizeof one);
    (void)ignored;
  }

  bool IsClosed() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
  }

 private:
  bool Usable() {
    if (IsClosed()) return FailWith(EBADF);
    return true;
  }

  bool StartData() {
    if (!Usable()) return false;
    if (data_.state != kIdle) return FailWith(EINVAL);  // one read or write at a time
    if (failure_) return FailWith(failure_);
    return true;
  }

  // Gives up exclusivity and the settings so that the next opener starts afresh. The settings go
  // back before the lock is released, or they could overwrite the next opener's.
  void ReleaseLocked() {
    closed_ = true;
    // Whatever the driver still holds belongs to an aborted write (a finished one has drained,
    // or taken back what its time-out left): it must not go out under the settings put back
    // below. On a pseudo-terminal it would be bytes the peer has not read yet.
    if (!pseudo_) tcflush(fd_, TCOFLUSH);
    tcsetattr(fd_, TCSANOW, &original_);
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    // The device is let go now, not when the last reference goes: with the original (often
    // echoing, line-editing) settings back, a device still open would answer the peer and
    // mangle what the next opener reads. The number stays taken by /dev/null, so a thread still
    // holding the port never reaches a descriptor opened since.
    const int device = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    const int placeholder = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (device < 0 || placeholder < 0) {
      if (device >= 0) close(device);
      if (placeholder >= 0) close(placeholder);
      return;
    }
    dup3(placeholder, fd_, O_CLOEXEC);
    close(placeholder);
    // A device's last close may wait for what an adapter still holds (up to its closing wait,
    // half a minute): nobody who closes the port, the window thread least of all, waits for it.
    if (!pseudo_) {
      try {
        std::thread([device] { close(device); }).detach();
        return;
      } catch (const std::system_error&) {
        // No thread to be had: the close waits here instead.
      }
    }
    close(device);
  }

  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_) ReleaseLocked();
  }

  void CompleteData(IoResult result, int error) {
    data_.state = kDone;
    data_.result = result;
    data_.error = error;
  }

  void CompleteEvent(IoResult result) {
    event_.state = kDone;
    event_.result = result;
  }

  void Raise(uint32_t events) { pendingEvents_ |= events & mask_; }

  bool OutputHeldByDsr() const { return options_.dsrFlow && modemLines_ && !(lines_ & TIOCM_DSR); }

  // The driver's buffer holds no DSR flow of its own: with it on, only a few bytes go at a time.
  bool FedInSlices() const { return options_.dsrFlow && modemLines_; }

  // Bytes written but not yet sent by the driver. On a pseudo-terminal they would be the peer's
  // unread bytes, which a reader may take at any pace: they never hold a write up.
  size_t OutputQueued() {
    int queued = 0;
    if (pseudo_ || ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) return 0;
    return static_cast<size_t>(queued);
  }

  // About when the line should have sent `queued` bytes.
  uint64_t DrainTime(uint64_t now, size_t queued) const {
    uint64_t bits = static_cast<uint64_t>(queued) * options_.bitsPerChar * 1000u;
    uint64_t ms = bits / std::max<uint32_t>(options_.baudRate, 1u) + 1;
    return now + std::clamp<uint64_t>(ms, 2, 250);
  }

  // Waits until the driver has put its bytes on the wire: its queue is empty and, where the
  // device tells, its transmitter too; elsewhere the last character gets the time it takes. A
  // hold of the output (XOFF, CTS) keeps them queued: the wait lasts until it ends or Close.
  bool WaitUntilSent() {
    for (;;) {
      if (IsClosed()) return FailWith(EBADF);
      const size_t queued = OutputQueued();
      int lsr = 0;
      const bool transmitterKnown = !pseudo_ && ioctl(fd_, TIOCSERGETLSR, &lsr) == 0;
      uint64_t now = MonotonicMilliseconds();
      if (queued == 0 && (!transmitterKnown || (lsr & TIOCSER_TEMT))) {
        if (!pseudo_ && !transmitterKnown) PauseUntil(DrainTime(now, 2));
        return true;
      }
      PauseUntil(DrainTime(now, std::max<size_t>(queued, 1)));
    }
  }

  // With DSR output flow the driver holds nothing by itself: whoever writes waits while DSR is off.
  bool WaitWhileDsrHoldsOutput() {
    for (;;) {
      if (IsClosed()) return FailWith(EBADF);
      int lines = 0;
      if (FedInSlices() && ioctl(fd_, TIOCMGET, &lines) == 0) lines_ = lines;
      if (!OutputHeldByDsr()) return true;
      PauseUntil(MonotonicMilliseconds() + kLineCheckMs);
    }
  }

  // Sleeps until `until`, or until Close wakes the port.
  void PauseUntil(uint64_t until) {
    uint64_t now = MonotonicMilliseconds();
    if (until <= now) return;
    pollfd wake{wakeFd_, POLLIN, 0};
    poll(&wake, 1, static_cast<int>(until - now));
  }

  void ArmTxEmpty(uint64_t now) {
    txEmptyArmed_ = true;
    drainCheckAt_ = now;
  }

  uint64_t NextDeadline() const {
    uint64_t wake = kNever;
    if (data_.state == kPending) {
      wake = data_.reading ? ReadWakeTime(data_) : std::min(data_.deadline, data_.drainCheckAt);
    }
    if (txEmptyArmed_ && !(data_.state == kPending && !data_.reading)) {
      wake = std::min(wake, drainCheckAt_);
    }
    if (LinesWatched()) wake = std::min(wake, lineCheckAt_);
    return wake;
  }

  bool LinesWatched() const {
    if (!modemLines_ && !counters_) return false;
    if (data_.state == kPending && !data_.reading && OutputHeldByDsr()) return true;
    return event_.state == kPending && (mask_ & (kModemEvents | kEvErr | kEvBreak));
  }

  // Turns what the device reports into progress of the outstanding operations and events.
  void Service(short revents, uint64_t now, bool probe) {
    // A read that finds nothing costs no more than asking whether there is something.
    if (probe) revents = POLLIN;
    FeedRead(now);
    if (revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) PullInput(revents);
    FeedRead(now);
    PushOutput(now);
    CheckDrain(now);
    CheckLines(now);
    if (event_.state == kPending) {
      if (failure_) {
        event_.error = failure_;
        CompleteEvent(IoResult{IoResult::kFailed, 0});
      } else if (pendingEvents_ & mask_) {
        CompleteEvent(IoResult{IoResult::kOk, pendingEvents_ & mask_});
        pendingEvents_ = 0;
      }
    }
  }

  void PullInput(short revents) {
    uint8_t chunk[kReadChunk];
    uint8_t decoded[sizeof chunk + 2];
    bool drained = false;
    if (queue_.room() <= kReadReserve && (revents & (POLLHUP | POLLERR | POLLNVAL))) {
      Fail(EIO);  // nothing more can be taken in, and the hang-up would wake every wait
      return;
    }
    while (queue_.room() > kReadReserve && !failure_) {
      size_t want = std::min(sizeof chunk, queue_.room() - kReadReserve);
      ssize_t got;
      int error;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;  // the bytes belong to the next opener now
        got = read(fd_, chunk, want);
        error = errno;
      }
      if (got > 0) {
        lastArrival_ = static_cast<size_t>(got);
        Accept(decoder_.Decode(chunk, static_cast<size_t>(got), decoded), decoded);
        if (static_cast<size_t>(got) < want) {
          drained = true;
          break;
        }
        continue;
      }
      if (got < 0 && error == EINTR) continue;
      if (got < 0 && error == EAGAIN) {
        drained = true;
        break;
      }
      Fail(got == 0 ? EIO : error);  // hung up, or the device went away
    }
    if (drained) {
      Accept(decoder_.Flush(decoded), decoded);
      // A hang-up keeps reporting itself: without a failure the waits would spin on it.
      if ((revents & (POLLHUP | POLLERR | POLLNVAL)) && !(revents & POLLIN)) Fail(EIO);
    }
  }

  void Accept(const LineDecoder::Result& result, const uint8_t* bytes) {
    if (result.errors || result.breaks) {
      uint32_t seen = result.breaks ? kCeBreak : 0;
      if (result.errors) seen |= options_.parityChecked ? kCeRxParity : kCeFrame;
      // A break and a zero byte received with a framing or parity error look alike in the data
      // (a wrong speed makes many of the latter): where the driver counts them, it tells which.
      if (counters_) seen = CountedErrors(seen);
      errors_ |= seen;
      if (seen & (kCeFrame | kCeRxParity)) Raise(kEvErr);
      if (seen & kCeBreak) Raise(kEvBreak);
    }
    if (result.bytes == 0) return;
    if (options_.dsrSensitive && modemLines_) {
      int lines = 0;
      if (ioctl(fd_, TIOCMGET, &lines) == 0) lines_ = lines;
      if (!(lines_ & TIOCM_DSR)) return;
    }
    queue_.Push(bytes, result.bytes);
    Raise(kEvRxChar | (result.eventChar ? kEvRxFlag : 0));
  }

  // Takes the driver's error counters now, so that errors already seen in the data are not
  // reported a second time by the next check. Returns the kinds counted, or `fallback`.
  uint32_t CountedErrors(uint32_t fallback) {
    serial_icounter_struct now{};
    if (ioctl(fd_, TIOCGICOUNT, &now) != 0) return fallback;
    uint32_t flags = 0;
    if (now.parity != icount_.parity && options_.parityChecked) flags |= kCeRxParity;
    if (now.frame != icount_.frame) flags |= kCeFrame;
    if (now.brk != icount_.brk) flags |= kCeBreak;
    icount_.parity = now.parity;
    icount_.frame = now.frame;
    icount_.brk = now.brk;
    return flags ? flags : fallback;
  }

  void FeedRead(uint64_t now) {
    if (data_.state != kPending || !data_.reading) return;
    const size_t taken = queue_.Take(data_.readBuffer + data_.done, data_.size - data_.done);
    IoResult result{IoResult::kOk, 0};
    int error = 0;
    if (SettleRead(&data_, taken, now, failure_, &result, &error)) CompleteData(result, error);
  }

  void PushOutput(uint64_t now) {
    if (data_.state != kPending || data_.reading) return;
    data_.drainCheckAt = kNever;
    const bool sliced = FedInSlices();
    while (data_.done < data_.size && !failure_) {
      if (sliced) {
        // Looked at before each slice, so that a drop of DSR holds the output within a slice.
        if (OutputQueued() > 0) break;
        int lines = 0;
        if (ioctl(fd_, TIOCMGET, &lines) == 0) lines_ = lines;
      }
      if (OutputHeldByDsr()) break;
      size_t count = data_.size - data_.done;
      if (sliced) count = std::min(count, kDsrFlowSlice);
      ssize_t put;
      int error;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        put = write(fd_, data_.writeBuffer + data_.done, count);
        error = errno;
      }
      if (put > 0) {
        data_.done += static_cast<uint32_t>(put);
        ArmTxEmpty(now);
        continue;
      }
      if (put < 0 && error == EINTR) continue;
      if (put < 0 && error == EAGAIN) break;
      Fail(put == 0 ? EIO : error);
    }
    // As on Windows, a write is done once its bytes have left: the driver's buffer holds seconds
    // of a slow line, which must not pass for sent (the end pause, the close and the progress
    // all rest on it).
    size_t queued = failure_ ? 0 : OutputQueued();
    if (now >= data_.deadline && queued > 0) {
      // A write time-out ends the write with what went out: what the driver still holds is
      // taken back and not counted, so that whoever writes the rest again sends it once.
      std::lock_guard<std::mutex> lock(mutex_);
      if (!closed_ && tcflush(fd_, TCOFLUSH) == 0) {
        data_.done -= static_cast<uint32_t>(std::min<size_t>(queued, data_.done));
        queued = 0;
      }
    }
    if ((data_.done == data_.size && queued == 0) || now >= data_.deadline) {
      // A write time-out ends the write successfully with what went out.
      CompleteData(IoResult{IoResult::kOk, data_.done}, 0);
    } else if (failure_) {
      CompleteData(IoResult{IoResult::kFailed, 0}, failure_);
    } else if (queued > 0) {
      data_.drainCheckAt = DrainTime(now, queued);
    }
  }

  // EV_TXEMPTY is the moment the output drains after something was written, once.
  void CheckDrain(uint64_t now) {
    if (!txEmptyArmed_ || (data_.state == kPending && !data_.reading) || now < drainCheckAt_) {
      return;
    }
    const size_t queued = OutputQueued();
    if (queued == 0) {
      txEmptyArmed_ = false;
      Raise(kEvTxEmpty);
      return;
    }
    // Look again about when the line should have sent what is queued.
    drainCheckAt_ = DrainTime(now, queued);
  }

  void CheckLines(uint64_t now) {
    if (!LinesWatched() || now < lineCheckAt_) return;
    lineCheckAt_ = now + kLineCheckMs;
    uint32_t events = 0;
    int lines = 0;
    if (modemLines_ && ioctl(fd_, TIOCMGET, &lines) == 0) {
      int changed = lines ^ lines_;
      if (changed & TIOCM_CTS) events |= kEvCts;
      if (changed & TIOCM_DSR) events |= kEvDsr;
      if (changed & TIOCM_CD) events |= kEvRlsd;
      if ((changed & TIOCM_RNG) && !(lines & TIOCM_RNG)) events |= kEvRing;  // end of a ring
      lines_ = lines;
    }
    serial_icounter_struct count{};
    if (counters_ && ioctl(fd_, TIOCGICOUNT, &count) == 0) {
      // Counters catch changes shorter than the check interval.
      if (count.cts != icount_.cts) events |= kEvCts;
      if (count.dsr != icount_.dsr) events |= kEvDsr;
      if (count.dcd != icount_.dcd) events |= kEvRlsd;
      if (count.rng != icount_.rng) events |= kEvRing;
      uint32_t errors = 0;
      if (count.overrun != icount_.overrun) errors |= kCeOverrun;
      if (count.buf_overrun != icount_.buf_overrun) errors |= kCeRxOver;
      if (count.frame != icount_.frame) errors |= kCeFrame;
      if (count.parity != icount_.parity && options_.parityChecked) errors |= kCeRxParity;
      if (errors) events |= kEvErr;
      if (count.brk != icount_.brk) {
        errors |= kCeBreak;
        events |= kEvBreak;
      }
      errors_ |= errors;
      icount_ = count;
    }
    Raise(events);
  }

  // The device failed (hung up, went away): outstanding operations end with the error and the
  // next ones fail at once.
  void Fail(int error) {
    if (!failure_) failure_ = error ? error : EIO;
  }

  // Set once; the descriptors are closed only by the destructor.
  const int fd_;
  const int wakeFd_;
  const termios original_;
  const bool pseudo_;
  const bool modemLines_;
  const bool counters_;

  std::mutex mutex_;
  bool closed_ = false;  // guarded by mutex_, as are the descriptor's reads and writes

  // Owned by the thread that runs the port.
  serial_icounter_struct icount_;
  int lines_ = 0;
  LineOptions options_;
  LineDecoder decoder_;
  CommTimeouts timeouts_{};
  uint32_t mask_ = 0;
  uint32_t pendingEvents_ = 0;
  uint32_t errors_ = 0;
  int failure_ = 0;
  InputQueue queue_;
  size_t lastArrival_ = 0;  // the bytes the latest read of the device brought
  DataOp data_;
  EventOp event_;
  bool txEmptyArmed_ = false;
  uint64_t drainCheckAt_ = kNever;
  uint64_t lineCheckAt_ = kNever;
};

}  // namespace

bool SerialDevicePath(const char* name, const char* startDirectory, std::string* path) {
  std::string text = name;
  bool comName =
      text.size() > 3 && strncasecmp(text.c_str(), "COM", 3) == 0 &&
      std::all_of(text.begin() + 3, text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!comName) {
    *path = text;
    return true;
  }
  if (!startDirectory || !*startDirectory) {
    errno = ENOENT;
    return false;
  }
  // The start directory is a Windows-1250 text; the file system spells it in UTF-8.
  const std::string directory = Cp1250ToUtf8(startDirectory);
  const std::string local = directory + "/" + text;
  struct stat info {};
  if (lstat(local.c_str(), &info) == 0) {
    *path = local;
    return true;
  }
  // Only a directory that is there and has no such entry says the port is the numbered one.
  if (errno != ENOENT) return false;
  if (stat(directory.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  unsigned long number = std::strtoul(text.c_str() + 3, nullptr, 10);
  *path = number == 0 ? text : kNumberedPortPrefix + std::to_string(number - 1);
  return true;
}

std::shared_ptr<SerialPort> OpenSerialPort(const char* name, const char* startDirectory) {
  if (!name || !*name) {
    errno = ENOENT;
    return nullptr;
  }
  std::string path;
  if (!SerialDevicePath(name, startDirectory, &path)) return nullptr;
  // A regular file in the port's place names a port on the network.
  struct stat entry {};
  if (lstat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode)) {
    return OpenNetworkSerialPort(path);
  }
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  auto fail = [fd](int error) {
    close(fd);
    errno = error;
    return nullptr;
  };
  // TIOCEXCL keeps out other users but not root; the lock keeps out everyone, root included.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  termios original{};
  if (tcgetattr(fd, &original) != 0) return fail(errno);
  struct stat device {};
  const bool pseudo = fstat(fd, &device) == 0 && S_ISCHR(device.st_mode) &&
                      ((major(device.st_rdev) >= kPtySlaveMajorFirst &&
                        major(device.st_rdev) <= kPtySlaveMajorLast) ||
                       major(device.st_rdev) == kLegacyPtySlaveMajor);
  termios raw = original;
  MakeRawMarked(&raw);
  if (pseudo) UnmarkPseudoTerminal(&raw);
  if (tcsetattr(fd, TCSANOW, &raw) != 0) return fail(errno);
  ioctl(fd, TIOCEXCL);
  int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    int error = errno;
    tcsetattr(fd, TCSANOW, &original);
    return fail(error);
  }
  int lines = 0;
  bool modemLines = ioctl(fd, TIOCMGET, &lines) == 0;
  serial_icounter_struct icount{};
  bool counters = ioctl(fd, TIOCGICOUNT, &icount) == 0;
  try {
    return std::make_shared<PosixSerialPort>(fd, wakeFd, original, pseudo, modemLines, counters,
                                             icount);
  } catch (const std::bad_alloc&) {
    tcsetattr(fd, TCSANOW, &original);
    ioctl(fd, TIOCNXCL);
    close(wakeFd);
    return fail(ENOMEM);
  }
}

}  // namespace platform
