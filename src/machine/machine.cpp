#include "machine/machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "machine/machine_text.h"

namespace machine {
namespace {

constexpr int64_t kEndPauseMs = 1000;
// A file that stops short of its byte 3 and stays silent this long is given up as incomplete.
constexpr int64_t kIncompleteAfterMs = 5000;
constexpr size_t kShownLines = 40;
constexpr size_t kUnclaimedKept = 100;

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  const ssize_t ignored = write(signalPipe[1], &byte, 1);
  static_cast<void>(ignored);
}

// The bytes as readable lines under a heading, cut after kShownLines lines.
std::string Shown(const std::string& bytes) {
  std::string text = "   " + Readable(bytes, "   ");
  size_t lines = 0;
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at) {
    if (++lines == kShownLines) {
      size_t more = 0;
      for (size_t rest = at + 1; (rest = text.find('\n', rest)) != std::string::npos; ++rest) {
        ++more;
      }
      return text.substr(0, at) + "\n   ... " + std::to_string(more + 1) +
             " more lines (show NAME prints them all)";
    }
  }
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

}  // namespace

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool InstallSignalHandlers() {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
  return true;
}

Machine::Machine(Line& line, std::ostream& out, const std::string& portLabel)
    : line_(line), out_(out), portLabel_(portLabel) {}

void Machine::Say(const std::string& text) {
  if (promptShown_) out_ << "\n";
  promptShown_ = false;
  out_ << text << "\n";
  out_.flush();
  if (!prompt_.empty()) ShowPrompt();
}

void Machine::ShowPrompt() {
  if (prompt_.empty() || promptShown_) return;
  out_ << prompt_;
  out_.flush();
  promptShown_ = true;
}

Machine::Wake Machine::Run(const std::function<bool()>& done, int64_t deadline, bool watchConsole) {
  for (;;) {
    const int64_t now = NowMs();
    // Opens and closes first, each close after what was written before it has been read.
    line_.TakeNotices([this] { ReadLine(); });
    if (!ReadLine()) {
      ended_ = true;
      return Wake::kQuit;
    }
    if (!incoming_.empty() && now - lastDataAt_ >= kIncompleteAfterMs &&
        !(line_.pseudo() && line_.PeerOpen())) {
      Complete(false, now);
    }
    StepOutgoing(now);
    if (done && done()) return Wake::kDone;
    if (deadline >= 0 && now >= deadline) return Wake::kDeadline;
    if (watchedPid_ > 0 && kill(watchedPid_, 0) != 0 && errno == ESRCH) {
      Say("-- the program has ended");
      ended_ = true;
      return Wake::kQuit;
    }

    pollfd waits[4];
    nfds_t count = 0;
    waits[count++] = {signalPipe[0], POLLIN, 0};
    // A pseudo-terminal nobody holds reads as hung up at once: then only its notices count.
    if (line_.PeerOpen()) waits[count++] = {line_.fd(), POLLIN, 0};
    if (line_.watchFd() >= 0) waits[count++] = {line_.watchFd(), POLLIN, 0};
    const nfds_t consoleIndex = count;
    if (watchConsole) waits[count++] = {STDIN_FILENO, POLLIN, 0};
    int64_t wake = NextTimer(now);
    if (deadline >= 0) wake = wake < 0 ? deadline : std::min(wake, deadline);
    if (watchedPid_ > 0) wake = wake < 0 ? now + 500 : std::min(wake, now + 500);
    if (!line_.pseudo()) wake = wake < 0 ? now + 200 : std::min(wake, now + 200);
    const int timeout = wake < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, wake - now));
    if (poll(waits, count, timeout) < 0 && errno != EINTR) {
      ended_ = true;
      return Wake::kQuit;
    }
    if (waits[0].revents & POLLIN) {
      char drained[16];
      while (read(signalPipe[0], drained, sizeof drained) > 0) {
      }
      Say("-- ended by a signal");
      ended_ = true;
      return Wake::kQuit;
    }
    if (watchConsole && waits[consoleIndex].revents != 0) return Wake::kConsole;
  }
}

int64_t Machine::NextTimer(int64_t now) const {
  int64_t wake = -1;
  auto earliest = [&](int64_t at) { wake = wake < 0 ? at : std::min(wake, at); };
  if (!incoming_.empty()) earliest(lastDataAt_ + kIncompleteAfterMs);
  if (!queue_.empty()) {
    const Outgoing& next = queue_.front();
    if (next.phase == Outgoing::kPausing) earliest(next.pauseUntil);
    if (next.phase == Outgoing::kWaiting && next.waitDeadline >= 0) earliest(next.waitDeadline);
    // Writing into a full line and draining a real port are looked at again shortly.
    if (next.phase == Outgoing::kWriting || next.phase == Outgoing::kDraining) earliest(now + 10);
  }
  return wake;
}

bool Machine::ReadLine() {
  std::string bytes;
  const bool readable = line_.ReadAvailable(&bytes);
  if (!bytes.empty()) TakeBytes(bytes, NowMs());
  // A port that fails (an adapter pulled out) fails for good.
  if (!readable) Say("!! reading " + portLabel_ + " failed: " + std::strerror(errno));
  return readable;
}

void Machine::TakeBytes(const std::string& bytes, int64_t now) {
  size_t start = 0;
  for (size_t at = 0; at < bytes.size(); ++at) {
    if (bytes[at] != 3) continue;
    const bool withData = at > start;
    incoming_.append(bytes, start, at - start);
    if (withData) {
      lastDataAt_ = now;
      dataInLastChunk_ = true;
    } else {
      dataInLastChunk_ = false;
    }
    Complete(true, now);
    start = at + 1;
  }
  if (start < bytes.size()) {
    incoming_.append(bytes, start, std::string::npos);
    lastDataAt_ = now;
  }
}

void Machine::Complete(bool ended, int64_t now) {
  Arrival arrival;
  arrival.bytes.swap(incoming_);
  if (ended) arrival.pauseMs = dataInLastChunk_ || arrival.bytes.empty() ? -1 : now - lastDataAt_;
  dataInLastChunk_ = false;
  // The program ends its engine's run after every byte 3: that opening of the line is over.
  if (ended && line_.PeerOpen()) usedOpening_ = line_.PeerOpenings();

  arrival.reply = RecognizeReply(arrival.bytes);
  std::string heading;
  if (!ended) {
    arrival.kind = Arrival::kIncomplete;
    arrival.name = "received/" + std::to_string(++receivedCount_) + ".incomplete";
    heading = "<- INCOMPLETE file from the program (no <03> after " +
              std::to_string(kIncompleteAfterMs / 1000) + " s of silence)";
  } else if (arrival.reply.kind != ReplyKind::kNoHeader) {
    arrival.kind = Arrival::kReply;
    arrival.name = "replies/" + std::to_string(++replyCount_);
    heading = "<- reply";
    if (requestPending_) {
      arrival.askedFor = requestText_;
      heading += " to " + requestText_;
      requestPending_ = false;
    }
    heading += ": " + DescribeReply(arrival.reply);
  } else if (requestPending_ && fileRequest_) {
    arrival.kind = Arrival::kRequested;
    arrival.askedFor = requestText_;
    arrival.name = "fetched/" + requestedName_;
    heading = "<- requested file, answering " + requestText_;
    requestPending_ = false;
  } else {
    arrival.kind = Arrival::kFile;
    arrival.name = "received/" + std::to_string(++receivedCount_);
    heading = "<- file from the program";
  }
  heading += "\n   " + std::to_string(arrival.bytes.size()) + " bytes";
  if (ended) {
    heading += arrival.pauseMs < 0
                   ? ", <03> right after the data"
                   : ", <03> after a pause of " + std::to_string(arrival.pauseMs) + " ms";
  }
  heading += "; kept as " + arrival.name;
  if (arrival.kind == Arrival::kReply && arrival.reply.kind == ReplyKind::kListing) {
    for (const ListingEntry& entry : arrival.reply.entries) {
      heading += "\n     " + Cp1250ToUtf8(entry.name) +
                 (entry.directory ? "  [directory]" : "  " + std::to_string(entry.size) + " bytes");
    }
  }
  memory_[arrival.name] = arrival.bytes;
  Say(heading + "\n" + Shown(arrival.bytes));
  last_ = arrival;
  haveLast_ = true;
  unclaimed_.push_back(std::move(arrival));
  if (unclaimed_.size() > kUnclaimedKept) unclaimed_.pop_front();
}

void Machine::NoteRequest(const std::string& what, bool fileRequest, const std::string& fileName) {
  requestPending_ = true;
  fileRequest_ = fileRequest;
  requestText_ = what;
  requestedName_ = BaseName(fileName).empty() ? "unnamed" : BaseName(fileName);
}

long Machine::Queue(const std::string& label, const std::string& bytes, bool block,
                    int64_t waitDeadline) {
  Outgoing item;
  item.id = nextId_++;
  item.label = label;
  item.bytes = bytes;
  item.block = block;
  item.waitDeadline = waitDeadline;
  queue_.push_back(item);
  StepOutgoing(NowMs());
  return item.id;
}

bool Machine::CancelQueued() {
  if (queue_.empty()) return false;
  while (!queue_.empty()) Finish(false, "-> " + queue_.front().label + ": cancelled");
  return true;
}

bool Machine::Ready() const {
  return !line_.pseudo() || (line_.PeerOpen() && line_.PeerOpenings() > usedOpening_);
}

void Machine::Finish(bool success, const std::string& message) {
  const long id = queue_.front().id;
  queue_.pop_front();
  if (success) succeeded_.insert(id);
  lastFinished_ = std::max(lastFinished_, id);
  Say(message);
}

void Machine::StepOutgoing(int64_t now) {
  while (!queue_.empty()) {
    Outgoing& item = queue_.front();
    const bool held = !line_.pseudo() || (line_.PeerOpen() && line_.PeerOpenings() == item.opening);
    switch (item.phase) {
      case Outgoing::kWaiting:
        if (!Ready()) {
          if (item.waitDeadline >= 0 && now >= item.waitDeadline) {
            Finish(false, "-> " + item.label + ": NOT sent, the program did not open " +
                              portLabel_ + " in time");
            continue;
          }
          if (!item.announced) {
            Say("-> " + item.label + ": waiting for the program to open " + portLabel_ +
                " (cancel drops it)");
            item.announced = true;
          }
          return;
        }
        item.phase = Outgoing::kWriting;
        item.opening = line_.PeerOpenings();
        continue;
      case Outgoing::kWriting: {
        if (!held) {
          Finish(false, "-> " + item.label + ": broken off after " + std::to_string(item.written) +
                            " bytes, the program closed " + portLabel_);
          continue;
        }
        const long written =
            line_.WriteSome(item.bytes.data() + item.written, item.bytes.size() - item.written);
        if (written < 0) {
          Finish(false, "-> " + item.label + ": writing failed: " + std::strerror(errno));
          continue;
        }
        item.written += static_cast<size_t>(written);
        if (item.written < item.bytes.size()) return;
        item.phase = Outgoing::kDraining;
        continue;
      }
      case Outgoing::kDraining:
        if (line_.Unsent() > 0) return;
        if (item.block) {
          Finish(true, "-> " + item.label + ": " + std::to_string(item.bytes.size()) +
                           " bytes in one block\n" + Shown(item.bytes));
          continue;
        }
        item.phase = Outgoing::kPausing;
        item.pauseUntil = now + kEndPauseMs;
        return;
      case Outgoing::kPausing: {
        if (now < item.pauseUntil) return;
        if (!held) {
          Finish(false, "-> " + item.label + ": the program closed " + portLabel_ +
                            " before the end byte <03>");
          continue;
        }
        const char end = 3;
        const long written = line_.WriteSome(&end, 1);
        if (written == 0) return;
        if (written < 0) {
          Finish(false, "-> " + item.label + ": writing <03> failed: " + std::strerror(errno));
          continue;
        }
        // The program's reception ends with this byte, and its run with it.
        usedOpening_ = std::max(usedOpening_, item.opening);
        Finish(true, "-> " + item.label + ": " + std::to_string(item.bytes.size()) +
                         " bytes, then <03> after a pause of " + std::to_string(kEndPauseMs) +
                         " ms\n" + Shown(item.bytes));
        continue;
      }
    }
  }
}

std::string Machine::Status() const {
  std::string text;
  if (line_.pseudo()) {
    text = portLabel_ + " -> " + line_.devicePath() + ": the program " +
           (line_.PeerOpen() ? "holds it open" : "does not hold it open") + " (opened " +
           std::to_string(line_.PeerOpenings()) + " times)";
  } else {
    text = "serial port " + line_.devicePath();
  }
  text += "\nqueued to send: " + std::to_string(queue_.size());
  if (!queue_.empty()) text += " (next: " + queue_.front().label + ")";
  text += "\nbeing received: " + std::to_string(incoming_.size()) + " bytes";
  if (requestPending_) text += "\nwaiting for the reply to " + requestText_;
  text += "\nunclaimed arrivals: " + std::to_string(unclaimed_.size());
  return text;
}

}  // namespace machine
