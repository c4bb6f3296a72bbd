#include <cstdint>
#include <cstring>
#include <new>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "listen/command_file.h"
#include "listen/command_replies.h"
#include "platform/system.h"
#include "transfer/engine_steps.h"
#include "transfer/engines.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"
#include "ui/surface.h"
#include "verify/verification.h"

namespace {

constexpr uint32_t kReceiveTimeout = 500;
constexpr uint32_t kCommandPause = 1000;

enum class Next { kGoOn, kEnd };

// Received bytes on their way to the file. Blocks that come one right after another (a burst: what
// a driver had buffered, a fast line) go to the file together, which costs a fraction of a write
// for each; whatever is held is written before the engine waits for the line, so a line at its own
// pace has every block in the file as it comes. The count shows what the file holds.
class HeldBlocks {
 public:
  // Holds `count` bytes, writing when the hold is full. False when the run has ended.
  bool Add(EngineRun& engine, const uint8_t* bytes, uint32_t count) {
    if (count == 0) return true;
    if (size_ + count > sizeof bytes_ && !Write(engine)) return false;
    std::memcpy(bytes_ + size_, bytes, count);
    size_ += count;
    return size_ < sizeof bytes_ || Write(engine);
  }

  // Writes what is held and shows the count. False when the run has ended (a failure is
  // reported).
  bool Write(EngineRun& engine) {
    if (size_ == 0) return true;
    if (!run::IsMine(engine.id)) return false;
    uint32_t written = 0;
    const bool stored = engine.file->Write(bytes_, size_, &written);
    const int code = platform::LastSystemError();
    const uint32_t held = size_;
    size_ = 0;
    // A run reset meanwhile leaves the count to the next run.
    if (!run::IsMine(engine.id)) return false;
    app.bytesReceived.fetch_add(static_cast<int>(written));
    ShowCount(CountField, app.bytesReceived.load());
    if (!stored || written != held) {
      // A file that silently misses bytes would look complete.
      ErrorExit(engine, "writing file", stored ? 0 : code);
      return false;
    }
    return true;
  }

 private:
  uint8_t bytes_[16 * kBlockSize];
  uint32_t size_ = 0;
};

// A block of file reception. The file ends at the first byte 3: what comes before it is written,
// the byte itself and anything after it are not.
Next ReceiveBlock(EngineRun& engine, HeldBlocks& held, const uint8_t* block, uint32_t length) {
  const void* mark = std::memchr(block, kEndOfFile, length);
  const bool lastBlock = mark != nullptr;
  const uint32_t keep =
      lastBlock ? static_cast<uint32_t>(static_cast<const uint8_t*>(mark) - block) : length;

  if (!run::IsMine(engine.id)) return Next::kEnd;
  if (!held.Add(engine, block, keep)) return Next::kEnd;
  if (!lastBlock) return Next::kGoOn;
  if (!held.Write(engine)) return Next::kEnd;
  if (app.verifyOn.load() == 1 && run::IsMine(engine.id)) {
    CompareReceivedFile([&engine] { return run::IsMine(engine.id); });
  }
  ResetRunIfMine(engine.id, 0);
  return Next::kEnd;
}

bool AnswerMayGoOn(run::RunId id) {
  return run::IsMine(id);
}

// A block in listen mode: a command file, answered after a pause, or something to report.
Next TakeCommand(EngineRun& engine, const uint8_t* block, uint32_t length) {
  if (!run::IsMine(engine.id)) return Next::kEnd;
  const int argument = RecognizeCommandFile(block, length);
  if (argument == 0) {
    if (!run::IsMine(engine.id)) return Next::kEnd;
    ErrorReporter(LocalText("niewłaściwy plik komendy", "invalid command file"));
    StartListeningAfter(engine.id);
    return Next::kEnd;
  }
  app.commandCursor = 0;
  bool ended = false;
  for (uint32_t at = argument > 0 ? static_cast<uint32_t>(argument) : length; at < length; ++at) {
    if (CollectArgumentByte(block[at])) {
      ended = true;
      break;
    }
  }
  if (!ended) CollectArgumentByte(0);

  if (!run::Pause(kCommandPause, AnswerMayGoOn, engine.id)) return Next::kEnd;
  // Each answer resets this run itself and then prepares the reply; the loop ends at its top.
  if (app.changeDirRequested.load() == 1 && app.chgdirConfirm == 1) {
    AnswerChangeDirectory(engine.id);
  } else if (app.sendFileRequested.load() == 1) {
    AnswerSendFile(engine.id);
  } else if (app.sendDirRequested.load() == 1) {
    AnswerSendDirectory(engine.id);
  }
  return Next::kGoOn;
}

Next CompleteBlock(EngineRun& engine, HeldBlocks& held, const uint8_t* block, uint32_t length) {
  // A run is a file reception exactly when it opened a file at its start. A listening run that
  // finds listen mode off is being ended by the window thread: it has no file to write to.
  if (engine.file) return ReceiveBlock(engine, held, block, length);
  if (app.listenMode.load() == 0) return Next::kEnd;
  return TakeCommand(engine, block, length);
}

// The line's arrivals wake no status wait: the lamps and the errors are looked at with each block
// instead, as some of what they show (the driver holding the peer back) comes with no event. A
// block every 20 ms is more than a serial line carries; only a burst (what a driver had buffered,
// a pseudo-terminal) comes faster, and its blocks share a refresh.
constexpr uint64_t kLampRefreshMs = 20;

Next TakeBlock(EngineRun& engine, HeldBlocks& held, const uint8_t* block, uint32_t length,
               uint64_t* refreshedAt) {
  const uint64_t now = platform::MonotonicMilliseconds();
  if (now - *refreshedAt >= kLampRefreshMs) {
    *refreshedAt = now;
    ServeLineEvent(engine, 0);
  }
  return CompleteBlock(engine, held, block, length);
}

// Ends the run on a failure of the line, after what was received before it is in the file.
void FailAfterWriting(EngineRun& engine, HeldBlocks& held, const char* text) {
  const int code = platform::LastSystemError();
  if (held.Write(engine)) ErrorExit(engine, text, code);
}

void ReceiveLoop(EngineRun& engine, uint8_t* buffer) {
  platform::SerialPort& port = *engine.port;
  bool readPending = false;
  bool statusPending = false;
  uint64_t refreshedAt = 0;
  HeldBlocks held;

  for (;;) {
    // Whoever ended this run has reset it; nothing is reported.
    if (!run::IsMine(engine.id)) return;

    // A status wait started anew may end the run: what was received comes first.
    if (!statusPending && !held.Write(engine)) return;
    if (!KeepStatusWaitGoing(engine, &statusPending)) return;

    if (!readPending) {
      uint32_t got = 0;
      switch (port.StartRead(buffer, kBlockSize, &got)) {
        case platform::IoStart::kCompleted:
          if (TakeBlock(engine, held, buffer, got, &refreshedAt) == Next::kEnd) return;
          break;
        case platform::IoStart::kPending:
          readPending = true;
          break;
        case platform::IoStart::kFailed:
          FailAfterWriting(engine, held, "ReadFile");
          return;
      }
    }

    if (!readPending || !statusPending) continue;
    if (!held.Write(engine)) return;
    switch (port.WaitForAny()) {
      case platform::WaitResult::kData: {
        const platform::IoResult result = port.DataResult();
        if (result.status == platform::IoResult::kOk) {
          readPending = false;
          const uint32_t got = result.value < kBlockSize ? result.value : kBlockSize;
          if (TakeBlock(engine, held, buffer, got, &refreshedAt) == Next::kEnd) return;
        } else if (result.status == platform::IoResult::kFailed) {
          FailAfterWriting(engine, held, "GetOverlappedResult (read)");
          return;
        }
        break;
      }
      case platform::WaitResult::kEvent:
        if (!held.Write(engine) || !ServeCompletedStatusWait(engine, &statusPending)) return;
        break;
      case platform::WaitResult::kFailed:
        FailAfterWriting(engine, held, "transmission");
        return;
    }
  }
}

void RunReceiveEngine(bool startedToListen) {
  EngineRun engine;
  engine.id = run::Begin();
  // Stopped before this thread got going: whoever stopped it has reset everything.
  if (!run::IsMine(engine.id)) return;
  app.bytesReceived = 0;

  if (app.listenMode.load() == 0) {
    // Listen mode was switched off between the start of this thread and now.
    if (startedToListen || app.listenByUser.load() == 1) {
      GiveWay(engine);
      return;
    }
    if (!run::CloseOpenFile(engine.id)) return;
    engine.file = platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteCreate);
    if (!engine.file) {
      ErrorExit(engine, LocalText("niewłaściwy plik", "invalid file"), platform::LastSystemError());
      return;
    }
    if (!run::AdoptFile(engine.id, engine.file)) return;
  }

  if (!OpenRunPort(engine, kReceiveTimeout, kLineEvents)) return;

  uint8_t* buffer = new (std::nothrow) uint8_t[kBlockSize];
  if (buffer == nullptr) {
    ErrorExit(engine, "allocating buffer", platform::LastSystemError());
    return;
  }
  if (run::IsMine(engine.id)) ShowLineStatusOf(engine.port.get(), 0, 0, platform::ComStat{});
  ReceiveLoop(engine, buffer);
  // An outstanding read must not fill the buffer after it is freed.
  engine.port->Close();
  delete[] buffer;
}

}  // namespace

void ReceiveEngine() {
  RunReceiveEngine(false);
}

void ListenEngine() {
  RunReceiveEngine(true);
}
