#include "platform/posix/network_serial_port.h"

#include <fcntl.h>
#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs_public.h>
#include <gensio/sergensio.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/port_operations.h"
#include "platform/posix/serial_termios.h"
#include "platform/system.h"

namespace platform {

namespace {

constexpr size_t kInputCapacity = 64 * 1024;
// A device server that does not answer within these is taken as not there.
constexpr uint64_t kConnectTimeoutMs = 5000;
constexpr uint64_t kAnswerTimeoutMs = 5000;
// How long a write waits for the device server to confirm it has taken the bytes, beyond the
// time the far line needs for them.
constexpr uint64_t kTakenGraceMs = 2000;
// How long an opener waits for this program's own earlier connection to the port to end.
constexpr uint64_t kEarlierCloseWaitMs = 3000;

// The time `count` characters take on a line of `rate` bits per second, rounded up.
uint64_t LineTime(size_t count, const LineOptions& options) {
  const uint64_t rate = std::max<uint32_t>(options.baudRate, 1);
  return (static_cast<uint64_t>(count) * options.bitsPerChar * 1000 + rate - 1) / rate;
}

// How the library's errors read as system errors. A connection that fails after it was made is
// EIO, as a device that hangs up or goes away.
int SystemError(int gensioError) {
  switch (gensioError) {
    case GE_NOMEM:
      return ENOMEM;
    case GE_INVAL:
    case GE_NOTSUP:
      return EINVAL;
    case GE_CONNREFUSE:
      return ECONNREFUSED;
    case GE_TIMEDOUT:
      return ETIMEDOUT;
    case GE_HOSTDOWN:
      return EHOSTUNREACH;
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_SERVER_FAILURE:
    case GE_NAME_INVALID:
    case GE_NAME_NET_NOT_UP:
      return ENOENT;
    case GE_CERTREVOKED:
    case GE_CERTEXPIRED:
    case GE_CERTINVALID:
    case GE_CERTNOTFOUND:
    case GE_NOCERT:
    case GE_KEYINVALID:
    case GE_KEYNOTFOUND:
    case GE_AUTHREJECT:
    case GE_PERM:
      return EACCES;
    default:
      return EIO;
  }
}

// The library runs every connection's callbacks on one thread of its own, woken from the others
// by a signal that must never end the process.
void IgnoreWake(int) {}

gensio_os_funcs* Library(int* error) {
  static std::once_flag once;
  static gensio_os_funcs* library = nullptr;
  static int failure = 0;
  std::call_once(once, [] {
    struct sigaction action {};
    if (sigaction(GENSIO_DEF_WAKE_SIG, nullptr, &action) == 0 && action.sa_handler == SIG_DFL) {
      action.sa_handler = IgnoreWake;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESTART;
      sigaction(GENSIO_DEF_WAKE_SIG, &action, nullptr);
    }
    gensio_os_funcs* os = nullptr;
    const int err = gensio_default_os_hnd(GENSIO_DEF_WAKE_SIG, &os);
    if (err != 0) {
      failure = SystemError(err);
      return;
    }
    try {
      std::thread([os] {
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, GENSIO_DEF_WAKE_SIG);
        pthread_sigmask(SIG_BLOCK, &wake, nullptr);
        for (;;) gensio_os_funcs_service(os, nullptr);
      }).detach();
    } catch (const std::system_error& e) {
      failure = e.code().value();
      return;
    }
    library = os;
  });
  *error = failure;
  return library;
}

// Addresses are looked up in the library's tables, which are filled on first use.
std::mutex addressMutex;

// Connections this program is still closing, and the change of their number. Never destroyed:
// the library's thread may close a connection while the process ends.
struct Closing {
  std::mutex mutex;
  std::condition_variable changed;
  int connections = 0;
};
Closing& Closings() {
  static Closing* closing = new Closing;
  return *closing;
}

// Only the network forms are taken from a port file: an address could also name a program to
// run or a local file, which a port file must never do.
bool NetworkStack(gensio* io) {
  const char* bottom = nullptr;
  for (unsigned depth = 0;; ++depth) {
    const char* type = gensio_get_type(io, depth);
    if (!type) break;
    if (std::strcmp(type, "telnet") != 0 && std::strcmp(type, "ssl") != 0 &&
        std::strcmp(type, "tcp") != 0) {
      return false;
    }
    bottom = type;
  }
  return bottom && std::strcmp(bottom, "tcp") == 0;
}

class NetworkSerialPort final : public SerialPort,
                                public std::enable_shared_from_this<NetworkSerialPort> {
 public:
  explicit NetworkSerialPort(int lockFd) : lockFd_(lockFd) {}

  ~NetworkSerialPort() override {
    if (io_) gensio_free(io_);
    if (lockFd_ >= 0) close(lockFd_);
  }

  // Makes the connection; false with errno set.
  bool Connect(gensio_os_funcs* library, const std::string& address) {
    int err;
    {
      std::lock_guard<std::mutex> lock(addressMutex);
      err = str_to_gensio(address.c_str(), library, &NetworkSerialPort::OnEvent, this, &io_);
    }
    if (err != 0) {
      io_ = nullptr;
      errno = err == GE_NOMEM ? ENOMEM : EINVAL;
      return false;
    }
    if (!NetworkStack(io_)) {
      errno = EINVAL;
      return false;
    }
    sio_ = gensio_to_sergensio(io_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      self_ = shared_from_this();
    }
    err = gensio_open(io_, &NetworkSerialPort::OnOpened, this);
    if (err != 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      self_.reset();
      errno = SystemError(err);
      return false;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    const bool answered = changed_.wait_for(lock, std::chrono::milliseconds(kConnectTimeoutMs),
                                            [this] { return opened_; });
    if (!answered || openError_ != 0) {
      const int error = answered ? SystemError(openError_) : ETIMEDOUT;
      lock.unlock();
      Close();
      errno = error;
      return false;
    }
    lock.unlock();
    if (sio_) {
      // Ask for the modem lines and the line errors as they change.
      sergensio_modemstate(sio_, 0xFF);
      sergensio_linestate(sio_, SERGENSIO_LINESTATE_OVERRUN_ERR | SERGENSIO_LINESTATE_PARITY_ERR |
                                    SERGENSIO_LINESTATE_FRAMING_ERR | SERGENSIO_LINESTATE_BREAK);
    }
    gensio_set_read_callback_enable(io_, true);
    return true;
  }

  bool SetEventMask(uint32_t mask) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return FailWith(EBADF);
    mask_ = mask;
    pendingEvents_ = 0;
    // A new mask completes a waiting comm-event wait with nothing, as on Windows.
    if (event_.state == kPending) CompleteEvent(IoResult{IoResult::kOk, 0}, 0);
    return true;
  }

  bool SetState(const PortDcb& dcb) override {
    termios settings{};
    LineOptions options;
    if (!BuildLineSettings(dcb, &settings, &options)) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return FailWith(EBADF);
    options_ = options;
    // A raw connection carries bytes only: the device server's own settings apply.
    if (!sio_) return true;

    ++generation_;
    const size_t first = requests_.size();
    auto ask = [this](int (*call)(sergensio*, unsigned, sergensio_done, void*), unsigned wanted,
                      bool mustTake) {
      requests_.push_back(Request{this, generation_, wanted, mustTake, call});
    };
    const unsigned parities[] = {SERGENSIO_PARITY_NONE, SERGENSIO_PARITY_ODD, SERGENSIO_PARITY_EVEN,
                                 SERGENSIO_PARITY_MARK, SERGENSIO_PARITY_SPACE};
    const unsigned stopBits[] = {1, 3, 2};  // one, one and a half, two
    ask(sergensio_baud, dcb.BaudRate, true);
    ask(sergensio_datasize, dcb.ByteSize, true);
    ask(sergensio_parity, parities[dcb.Parity], true);
    ask(sergensio_stopbits, stopBits[dcb.StopBits], true);
    ask(sergensio_flowcontrol,
        dcb.fOutxCtsFlow ? SERGENSIO_FLOWCONTROL_RTS_CTS
        : dcb.fOutX      ? SERGENSIO_FLOWCONTROL_XON_XOFF
                         : SERGENSIO_FLOWCONTROL_NONE,
        false);
    ask(sergensio_dtr, options.dtrOn ? SERGENSIO_DTR_ON : SERGENSIO_DTR_OFF, false);
    // With CTS flow the device server drives RTS itself.
    if (!dcb.fOutxCtsFlow)
      ask(sergensio_rts, options.rtsOn ? SERGENSIO_RTS_ON : SERGENSIO_RTS_OFF, false);
    unanswered_ = requests_.size() - first;
    refused_ = false;
    lock.unlock();
    for (size_t i = first; i < requests_.size(); ++i) {
      Request& request = requests_[i];
      if (request.call(sio_, request.wanted, &NetworkSerialPort::OnAnswer, &request) != 0) {
        std::lock_guard<std::mutex> relock(mutex_);
        if (request.mustTake) refused_ = true;
        --unanswered_;
      }
    }
    lock.lock();
    const bool answered =
        changed_.wait_for(lock, std::chrono::milliseconds(kAnswerTimeoutMs),
                          [this] { return closed_ || failure_ != 0 || unanswered_ == 0; });
    if (closed_) return FailWith(EBADF);
    if (failure_) return FailWith(failure_);
    if (!answered) return FailWith(ETIMEDOUT);
    if (refused_) return FailWith(EINVAL);  // as a driver refuses a rate or frame it cannot do
    return true;
  }

  bool SetTimeouts(const CommTimeouts& timeouts) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return FailWith(EBADF);
    if (!TimeoutsAccepted(timeouts)) return false;
    timeouts_ = timeouts;
    return true;
  }

  IoStart StartRead(uint8_t* buffer, uint32_t size, uint32_t* done) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return FailStart(EBADF);
    if (data_.state != kIdle) return FailStart(EINVAL);
    if (failure_ && InputSize() == 0) return FailStart(failure_);
    if (InputSize() >= size || failure_ != 0 || ReadsAtOnce(timeouts_)) {
      *done = static_cast<uint32_t>(TakeInput(buffer, size));
      ResumeReading(lock);
      return IoStart::kCompleted;
    }
    const uint64_t now = MonotonicMilliseconds();
    StartPendingRead(&data_, timeouts_, buffer, size, now);
    FeedRead(now);  // bytes already waiting count as just arrived
    ResumeReading(lock);
    return IoStart::kPending;
  }

  IoStart StartWrite(const uint8_t* buffer, uint32_t size, uint32_t* done) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return FailStart(EBADF);
    if (data_.state != kIdle) return FailStart(EINVAL);
    if (failure_) return FailStart(failure_);
    StartPendingWrite(&data_, timeouts_, buffer, size, MonotonicMilliseconds());
    PushOutput(lock);
    Progress(MonotonicMilliseconds());
    if (data_.state == kDone) {
      data_.state = kIdle;
      if (data_.result.status != IoResult::kOk) return FailStart(data_.error);
      *done = data_.result.value;
      return IoStart::kCompleted;
    }
    return IoStart::kPending;
  }

  IoStart StartEventWait(uint32_t* mask) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return FailStart(EBADF);
    if (event_.state != kIdle || mask_ == 0) return FailStart(EINVAL);
    if (failure_) return FailStart(failure_);
    if (pendingEvents_ & mask_) {
      *mask = pendingEvents_ & mask_;
      pendingEvents_ = 0;
      return IoStart::kCompleted;
    }
    event_.state = kPending;
    return IoStart::kPending;
  }

  WaitResult WaitForAny() override {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (closed_) {
        return event_.state != kIdle && data_.state == kIdle ? WaitResult::kEvent
                                                             : WaitResult::kData;
      }
      const uint64_t now = MonotonicMilliseconds();
      Progress(now);
      if (data_.state == kDone) return WaitResult::kData;
      if (event_.state == kDone) return WaitResult::kEvent;
      if (data_.state == kIdle && event_.state == kIdle) {
        errno = EINVAL;
        return WaitResult::kFailed;
      }
      const uint64_t wake = NextDeadline();
      if (wake == kNever) {
        changed_.wait(lock);
      } else if (wake > now) {
        changed_.wait_for(lock, std::chrono::milliseconds(wake - now));
      }
    }
  }

  IoResult DataResult() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return FetchResult(closed_, &data_);
  }

  IoResult EventResult() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return FetchResult(closed_, &event_);
  }

  bool ClearError(uint32_t* errors, ComStat* status) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return FailWith(EBADF);
    *errors = errors_;
    errors_ = 0;
    ComStat stat{};
    if (modemKnown_) {
      if (options_.ctsFlow && !(modemState_ & SERGENSIO_MODEMSTATE_CTS)) stat.bits |= kCtsHold;
      if (options_.dsrFlow && !(modemState_ & SERGENSIO_MODEMSTATE_DSR)) stat.bits |= kDsrHold;
    }
    stat.inQueue = static_cast<uint32_t>(InputSize());
    if (data_.state == kPending && !data_.reading) stat.outQueue = data_.size - data_.done;
    *status = stat;
    return true;
  }

  bool ModemStatus(uint32_t* status) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return FailWith(EBADF);
    *status = 0;
    if (modemState_ & SERGENSIO_MODEMSTATE_CTS) *status |= kMsCtsOn;
    if (modemState_ & SERGENSIO_MODEMSTATE_DSR) *status |= kMsDsrOn;
    if (modemState_ & SERGENSIO_MODEMSTATE_RI) *status |= kMsRingOn;
    if (modemState_ & SERGENSIO_MODEMSTATE_CD) *status |= kMsRlsdOn;
    return true;
  }

  // The character goes after whatever the connection still carries, and counts as sent once the
  // far line has had the time to send it and the device server has taken it.
  bool TransmitChar(uint8_t character) override {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (closed_) return FailWith(EBADF);
      if (failure_) return FailWith(failure_);
      if (data_.state == kPending && !data_.reading) return FailWith(EINVAL);
      lock.unlock();
      gensiods count = 0;
      const int err = gensio_write(io_, &count, &character, 1, nullptr);
      lock.lock();
      if (err != 0) {
        Fail(EIO);
        continue;
      }
      if (count == 1) break;
      // The connection holds back (the device server's line is held): wait until it takes more.
      writable_ = false;
      lock.unlock();
      gensio_set_write_callback_enable(io_, true);
      lock.lock();
      changed_.wait(lock, [this] { return closed_ || failure_ != 0 || writable_; });
    }
    const uint64_t now = MonotonicMilliseconds();
    lineFreeAt_ = AddMs(std::max(now, lineFreeAt_), LineTime(1, options_));
    const uint64_t asked = AskTaken(lock);
    // Woken by the answer, by a lost connection, and by the clock.
    while (!closed_ && !failure_) {
      const uint64_t at = MonotonicMilliseconds();
      if (at >= lineFreeAt_ && (takenAnswered_ >= asked || at >= takenGiveUpAt_)) break;
      const uint64_t until =
          takenAnswered_ >= asked ? lineFreeAt_ : std::max(lineFreeAt_, takenGiveUpAt_);
      changed_.wait_for(lock, std::chrono::milliseconds(until > at ? until - at : 1));
    }
    if (closed_) return FailWith(EBADF);
    // A connection lost meanwhile may not have carried the byte: that is no success.
    if (failure_) return FailWith(failure_);
    Raise(kEvTxEmpty);
    return true;
  }

  void Close() override {
    bool closeConnection;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return;
      closed_ = true;
      closeConnection = self_ != nullptr && !closing_;
      closing_ = true;
      if (closeConnection) {
        std::lock_guard<std::mutex> count(Closings().mutex);
        ++Closings().connections;
      } else {
        ReleaseLock();
      }
      changed_.notify_all();
    }
    if (!closeConnection) return;
    if (gensio_close(io_, &NetworkSerialPort::OnClosed, this) != 0) Closed();
  }

  bool IsClosed() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
  }

 private:
  // One setting asked of the device server.
  struct Request {
    NetworkSerialPort* port;
    uint64_t generation;
    unsigned wanted;
    bool mustTake;  // the rate and the frame: a device server that cannot do them refuses them
    int (*call)(sergensio*, unsigned, sergensio_done, void*);
  };

  size_t InputSize() const { return input_.size() - inputHead_; }

  size_t TakeInput(uint8_t* out, size_t count) {
    count = std::min(count, InputSize());
    if (count > 0) std::memcpy(out, input_.data() + inputHead_, count);
    inputHead_ += count;
    if (inputHead_ == input_.size()) {
      input_.clear();
      inputHead_ = 0;
    }
    return count;
  }

  // Called with the lock held; gives the library back its read callback once there is room.
  void ResumeReading(std::unique_lock<std::mutex>& lock) {
    if (!readHeld_ || InputSize() >= kInputCapacity || closed_) return;
    readHeld_ = false;
    lock.unlock();
    gensio_set_read_callback_enable(io_, true);
    lock.lock();
  }

  // Wakes a waiter only for an event it waits for: an arrival that no wait asks for must not
  // cost the engine a wake.
  void Raise(uint32_t events) {
    pendingEvents_ |= events;
    if (event_.state == kPending && (pendingEvents_ & mask_)) {
      CompleteEvent(IoResult{IoResult::kOk, pendingEvents_ & mask_}, 0);
      pendingEvents_ = 0;
    }
  }

  void CompleteEvent(IoResult result, int error) {
    event_.state = kDone;
    event_.result = result;
    event_.error = error;
    changed_.notify_all();
  }

  void CompleteData(IoResult result, int error) {
    data_.state = kDone;
    data_.result = result;
    data_.error = error;
    changed_.notify_all();
  }

  void Fail(int error) {
    if (!failure_) failure_ = error ? error : EIO;
    changed_.notify_all();
  }

  void FeedRead(uint64_t now) {
    if (data_.state != kPending || !data_.reading) return;
    const size_t taken = TakeInput(data_.readBuffer + data_.done, data_.size - data_.done);
    // The first bytes start the interval's clock: a waiter must learn of its new deadline.
    if (taken > 0 && data_.done == 0 && data_.interval != 0) changed_.notify_all();
    IoResult result{IoResult::kOk, 0};
    int error = 0;
    if (SettleRead(&data_, taken, now, failure_, &result, &error)) CompleteData(result, error);
  }

  // Hands the connection what it takes of the outstanding write; called with the lock held.
  void PushOutput(std::unique_lock<std::mutex>& lock) {
    while (data_.state == kPending && !data_.reading && data_.done < data_.size && !failure_ &&
           !closed_) {
      const uint8_t* from = data_.writeBuffer + data_.done;
      const gensiods left = data_.size - data_.done;
      lock.unlock();
      gensiods count = 0;
      const int err = gensio_write(io_, &count, from, left, nullptr);
      lock.lock();
      if (err != 0) {
        Fail(EIO);
        break;
      }
      if (data_.state != kPending) break;  // closed meanwhile
      const uint64_t now = MonotonicMilliseconds();
      data_.done += static_cast<uint32_t>(count);
      lineFreeAt_ = AddMs(std::max(now, lineFreeAt_), LineTime(count, options_));
      if (data_.done == data_.size) {
        data_.takenAsked = AskTaken(lock);
        break;
      }
      if (count < left) {
        lock.unlock();
        gensio_set_write_callback_enable(io_, true);
        lock.lock();
        break;
      }
    }
  }

  // Asks the device server something it answers only once it has read every byte sent before
  // the question: the answer says the bytes are with it, not on their way. Returns the number the
  // answer will carry. A raw connection has nothing to ask: its count is answered at once.
  uint64_t AskTaken(std::unique_lock<std::mutex>& lock) {
    const uint64_t asked = ++takenAsked_;
    takenGiveUpAt_ = AddMs(lineFreeAt_, kTakenGraceMs);
    if (!sio_) {
      takenAnswered_ = asked;
      return asked;
    }
    lock.unlock();
    const int err = sergensio_baud(sio_, 0, &NetworkSerialPort::OnTaken, this);
    lock.lock();
    if (err != 0) takenAnswered_ = std::max(takenAnswered_, asked);
    return asked;
  }

  // Completes what time and the connection's answers allow; called with the lock held.
  void Progress(uint64_t now) {
    FeedRead(now);
    if (data_.state == kPending && !data_.reading) {
      if (failure_) {
        CompleteData(IoResult{IoResult::kFailed, 0}, failure_);
      } else if (now >= data_.deadline) {
        // A write time-out ends the write with what the connection took.
        CompleteData(IoResult{IoResult::kOk, data_.done}, 0);
      } else if (data_.done == data_.size && now >= lineFreeAt_ &&
                 (takenAnswered_ >= data_.takenAsked || now >= takenGiveUpAt_)) {
        CompleteData(IoResult{IoResult::kOk, data_.done}, 0);
        Raise(kEvTxEmpty);
      }
    }
    if (event_.state == kPending && failure_)
      CompleteEvent(IoResult{IoResult::kFailed, 0}, failure_);
  }

  uint64_t NextDeadline() const {
    uint64_t wake = kNever;
    if (data_.state != kPending) return wake;
    if (data_.reading) return ReadWakeTime(data_);
    wake = data_.deadline;
    if (data_.done == data_.size) {
      wake = std::min(wake, takenAnswered_ >= data_.takenAsked
                                ? lineFreeAt_
                                : std::max(lineFreeAt_, takenGiveUpAt_));
    }
    return wake;
  }

  void ReleaseLock() {
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
  }

  // The connection is gone: the port is let go, and the library calls back no more.
  void Closed() {
    std::shared_ptr<NetworkSerialPort> last;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ReleaseLock();
      last = std::move(self_);
    }
    Closing& closing = Closings();
    {
      std::lock_guard<std::mutex> count(closing.mutex);
      --closing.connections;
    }
    closing.changed.notify_all();
  }

  int Event(int event, int err, unsigned char* buf, gensiods* buflen) {
    switch (event) {
      case GENSIO_EVENT_READ:
        return Received(err, buf, buflen);
      case GENSIO_EVENT_WRITE_READY: {
        gensio_set_write_callback_enable(io_, false);
        std::unique_lock<std::mutex> lock(mutex_);
        writable_ = true;
        PushOutput(lock);
        changed_.notify_all();
        return 0;
      }
      case GENSIO_EVENT_SER_MODEMSTATE:
        ModemChanged(*reinterpret_cast<unsigned int*>(buf));
        return 0;
      case GENSIO_EVENT_SER_LINESTATE:
        LineStateReported(*reinterpret_cast<unsigned int*>(buf));
        return 0;
      default:
        return GE_NOTSUP;
    }
  }

  int Received(int err, unsigned char* buf, gensiods* buflen) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (err != 0) {
      // The device server hung up or the network failed: as a device that goes away.
      Fail(EIO);
      lock.unlock();
      gensio_set_read_callback_enable(io_, false);
      return 0;
    }
    const size_t room = kInputCapacity - std::min(kInputCapacity, InputSize());
    const size_t looked = std::min<size_t>(*buflen, room);
    const bool dsrOff =
        options_.dsrSensitive && modemKnown_ && !(modemState_ & SERGENSIO_MODEMSTATE_DSR);
    bool anyByte = false;
    bool eventChar = false;
    if (!dsrOff && !closed_) {
      if (inputHead_ > 0 && input_.size() + looked > kInputCapacity) {
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(inputHead_));
        inputHead_ = 0;
      }
      for (size_t i = 0; i < looked; ++i) {
        const uint8_t byte = buf[i];
        if (byte == 0 && options_.dropNull) continue;
        if (byte == options_.eventChar) eventChar = true;
        input_.push_back(byte);
        anyByte = true;
      }
    }
    if (looked < *buflen || InputSize() >= kInputCapacity) {
      // Whatever is left stays with the connection until a read makes room. Held under the lock,
      // so that the read that makes room turns it on again only after this.
      readHeld_ = true;
      gensio_set_read_callback_enable(io_, false);
    }
    *buflen = looked;
    if (anyByte) {
      Raise(kEvRxChar | (eventChar ? kEvRxFlag : 0));
      FeedRead(MonotonicMilliseconds());
    }
    return 0;
  }

  void ModemChanged(unsigned int state) {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned int changed = (state ^ modemState_) >> 4 | (state & 0x0F);
    uint32_t events = 0;
    if (modemKnown_ || (state & 0x0F)) {
      if (changed & SERGENSIO_MODEMSTATE_CTS_CHANGED) events |= kEvCts;
      if (changed & SERGENSIO_MODEMSTATE_DSR_CHANGED) events |= kEvDsr;
      if (changed & SERGENSIO_MODEMSTATE_CD_CHANGED) events |= kEvRlsd;
      // The end of a ring, as the local port reports it.
      if ((changed & SERGENSIO_MODEMSTATE_RI_CHANGED) && !(state & SERGENSIO_MODEMSTATE_RI)) {
        events |= kEvRing;
      }
    }
    modemState_ = state & 0xF0;
    modemKnown_ = true;
    Raise(events & kModemEvents);
  }

  void LineStateReported(unsigned int state) {
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t errors = 0;
    if (state & SERGENSIO_LINESTATE_OVERRUN_ERR) errors |= kCeOverrun;
    if ((state & SERGENSIO_LINESTATE_PARITY_ERR) && options_.parityChecked) errors |= kCeRxParity;
    if (state & SERGENSIO_LINESTATE_FRAMING_ERR) errors |= kCeFrame;
    if (state & SERGENSIO_LINESTATE_BREAK) errors |= kCeBreak;
    errors_ |= errors;
    uint32_t events = 0;
    if (errors & (kCeOverrun | kCeRxParity | kCeFrame)) events |= kEvErr;
    if (errors & kCeBreak) events |= kEvBreak;
    Raise(events);
  }

  static int OnEvent(gensio*, void* self, int event, int err, unsigned char* buf, gensiods* buflen,
                     const char* const*) {
    return static_cast<NetworkSerialPort*>(self)->Event(event, err, buf, buflen);
  }

  static void OnOpened(gensio*, int err, void* data) {
    auto* port = static_cast<NetworkSerialPort*>(data);
    std::shared_ptr<NetworkSerialPort> last;
    std::lock_guard<std::mutex> lock(port->mutex_);
    port->opened_ = true;
    port->openError_ = err;
    // A connection that never opened calls back no more, unless a close is on its way.
    if (err != 0 && !port->closing_) last = std::move(port->self_);
    port->changed_.notify_all();
  }

  static void OnClosed(gensio*, void* data) { static_cast<NetworkSerialPort*>(data)->Closed(); }

  static void OnAnswer(sergensio*, int err, unsigned int value, void* data) {
    auto* request = static_cast<Request*>(data);
    NetworkSerialPort* port = request->port;
    std::lock_guard<std::mutex> lock(port->mutex_);
    if (request->generation != port->generation_ || port->unanswered_ == 0) return;
    if (request->mustTake && (err != 0 || value != request->wanted)) port->refused_ = true;
    --port->unanswered_;
    port->changed_.notify_all();
  }

  static void OnTaken(sergensio*, int, unsigned int, void* data) {
    auto* port = static_cast<NetworkSerialPort*>(data);
    std::lock_guard<std::mutex> lock(port->mutex_);
    ++port->takenAnswered_;
    port->changed_.notify_all();
  }

  gensio* io_ = nullptr;
  sergensio* sio_ = nullptr;  // null on a raw connection

  std::mutex mutex_;
  std::condition_variable changed_;
  // Everything below is guarded by mutex_.
  int lockFd_;
  std::shared_ptr<NetworkSerialPort> self_;  // held while the library may still call back
  bool opened_ = false;
  int openError_ = 0;
  bool closed_ = false;
  bool closing_ = false;
  int failure_ = 0;
  LineOptions options_;
  CommTimeouts timeouts_{};
  uint32_t mask_ = 0;
  uint32_t pendingEvents_ = 0;
  uint32_t errors_ = 0;
  unsigned int modemState_ = 0;
  bool modemKnown_ = false;
  std::vector<uint8_t> input_;
  size_t inputHead_ = 0;
  bool readHeld_ = false;
  bool writable_ = false;
  DataOp data_;
  EventOp event_;
  uint64_t lineFreeAt_ = 0;  // when the far line has sent all it was given, by its rate
  uint64_t takenAsked_ = 0;
  uint64_t takenAnswered_ = 0;
  uint64_t takenGiveUpAt_ = 0;
  uint64_t generation_ = 0;
  std::deque<Request> requests_;  // kept: a late answer still finds its request
  size_t unanswered_ = 0;
  bool refused_ = false;
};

// Takes the lock on the port file; waits for a connection of this program's own that is still
// closing, since the port is free once it has.
bool LockPortFile(int fd) {
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kEarlierCloseWaitMs);
  Closing& closing = Closings();
  std::unique_lock<std::mutex> lock(closing.mutex);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK) return false;
    if (closing.connections == 0 ||
        !closing.changed.wait_until(lock, until, [&] { return closing.connections == 0; })) {
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
      errno = EBUSY;
      return false;
    }
  }
}

}  // namespace

bool ReadNetworkAddress(const std::string& entryPath, std::string* address) {
  const int fd = open(entryPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  char text[kMaxNetworkAddress + 2];
  size_t length = 0;
  while (length < sizeof text) {
    const ssize_t got = read(fd, text + length, sizeof text - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      close(fd);
      errno = error;
      return false;
    }
    if (got == 0) break;
    length += static_cast<size_t>(got);
    if (std::memchr(text, '\n', length)) break;
  }
  close(fd);
  const char* end = static_cast<const char*>(std::memchr(text, '\n', length));
  size_t line = end ? static_cast<size_t>(end - text) : length;
  size_t first = 0;
  while (first < line && (text[first] == ' ' || text[first] == '\t')) ++first;
  while (line > first &&
         (text[line - 1] == '\r' || text[line - 1] == ' ' || text[line - 1] == '\t')) {
    --line;
  }
  if (line == first || line - first > kMaxNetworkAddress || (!end && length == sizeof text) ||
      std::memchr(text + first, '\0', line - first)) {
    errno = EINVAL;
    return false;
  }
  address->assign(text + first, line - first);
  return true;
}

std::shared_ptr<SerialPort> OpenNetworkSerialPort(const std::string& entryPath) {
  std::string address;
  if (!ReadNetworkAddress(entryPath, &address)) return nullptr;
  const int lockFd = open(entryPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (lockFd < 0) return nullptr;
  if (!LockPortFile(lockFd)) {
    const int error = errno;
    close(lockFd);
    errno = error;
    return nullptr;
  }
  int error = 0;
  gensio_os_funcs* library = Library(&error);
  if (!library) {
    close(lockFd);
    errno = error;
    return nullptr;
  }
  std::shared_ptr<NetworkSerialPort> port;
  try {
    port = std::make_shared<NetworkSerialPort>(lockFd);
  } catch (const std::bad_alloc&) {
    close(lockFd);
    errno = ENOMEM;
    return nullptr;
  }
  if (!port->Connect(library, address)) return nullptr;
  return port;
}

}  // namespace platform
