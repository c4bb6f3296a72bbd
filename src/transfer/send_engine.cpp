#include <cstdint>
#include <new>

#include "core/app_state.h"
#include "core/file_size_limit.h"
#include "core/lifecycle.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "platform/system.h"
#include "transfer/engine_steps.h"
#include "transfer/engines.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

constexpr uint32_t kSendTimeout = 100;
constexpr uint32_t kEndPause = 1000;
// The bar's range is 16 bits wide.
constexpr int32_t kLargestBarRange = 0xFFFF;

bool GivesWayToListen() {
  return app.listenMode.load() == 0 && app.listenByUser.load() == 1;
}

// The progress bar counts chunks; a file of more chunks than the bar can hold moves it once per
// group of chunks.
struct Progress {
  int32_t chunksPerStep = 1;

  void Setup(int32_t chunkCount) {
    chunksPerStep =
        chunkCount > kLargestBarRange ? (chunkCount + kLargestBarRange - 1) / kLargestBarRange : 1;
    const int32_t range = (chunkCount + chunksPerStep - 1) / chunksPerStep;
    SetProgressRange(ProgressBar, 0, range);
    SetProgressPosition(ProgressBar, 0);
    SetProgressStep(ProgressBar, 1);
  }
  void ChunkDone(int32_t chunkIndex, int32_t chunkCount) const {
    if (chunkIndex % chunksPerStep == 0 || chunkIndex == chunkCount) StepProgress(ProgressBar);
  }
};

struct SendState {
  uint32_t size = 0;
  int32_t chunkCount = 0;
  int32_t chunkIndex = 0;
  uint32_t chunkSize = kBlockSize;
  uint32_t chunkBytesDone = 0;
  Progress progress;
};

void ConfirmWritten(EngineRun& engine, SendState& send, uint32_t written) {
  send.chunkBytesDone += written;
  if (send.chunkBytesDone < send.chunkSize) return;
  send.chunkBytesDone = 0;
  ++send.chunkIndex;
  if (!run::IsMine(engine.id)) return;
  send.progress.ChunkDone(send.chunkIndex, send.chunkCount);
  // A reset that came while the step was on its way has put the bar back before it landed.
  if (!run::IsMine(engine.id)) SetProgressPosition(ProgressBar, 0);
}

void EndOfFile(EngineRun& engine) {
  if (!run::Pause(kEndPause, run::IsMine, engine.id)) return;
  if (!engine.port->TransmitChar(kEndOfFile)) {
    const int code = platform::LastSystemError();
    if (run::IsMine(engine.id)) {
      platform::SetLastSystemError(code);
      ErrorReporter(LocalText("EOF niewysłany", "EOF not sent"));
    }
  }
  if (run::IsMine(engine.id)) SetProgressPosition(ProgressBar, 0);
  if (!ResetRunIfMine(engine.id, 0)) return;
  if (app.listenMode.load() != 1) return;
  if (app.sendFileRequested.load() == 1 || app.sendDirRequested.load() == 1 ||
      app.changeDirRequested.load() == 1) {
    app.sendFileRequested = 0;
    app.sendDirRequested = 0;
    app.changeDirRequested = 0;
    DeleteTempFile();
  }
  StartListeningAfter(engine.id);
}

void SendLoop(EngineRun& engine, SendState& send, uint8_t* buffer) {
  platform::SerialPort& port = *engine.port;
  bool writePending = false;
  bool statusPending = false;

  for (;;) {
    // Whoever ended this run has reset it: no end-of-file byte, no report.
    if (!run::IsMine(engine.id)) return;

    if (!writePending) {
      if (send.chunkIndex == send.chunkCount) {
        EndOfFile(engine);
        return;
      }
      // A short write leaves the rest of its chunk in the buffer; it is sent before the next
      // chunk is read.
      if (send.chunkBytesDone == 0) {
        send.chunkSize = send.chunkIndex == send.chunkCount - 1
                             ? send.size - kBlockSize * static_cast<uint32_t>(send.chunkCount - 1)
                             : kBlockSize;
        uint32_t got = 0;
        if (!engine.file->Read(buffer, send.chunkSize, &got) || got != send.chunkSize) {
          ErrorExit(engine, "reading file", platform::LastSystemError());
          return;
        }
      }
      uint32_t written = 0;
      switch (port.StartWrite(buffer + send.chunkBytesDone, send.chunkSize - send.chunkBytesDone,
                              &written)) {
        case platform::IoStart::kCompleted:
          ConfirmWritten(engine, send, written);
          writePending = false;
          break;
        case platform::IoStart::kPending:
          writePending = true;
          break;
        case platform::IoStart::kFailed:
          ErrorExit(engine, "WriteFile", platform::LastSystemError());
          return;
      }
    }

    if (!KeepStatusWaitGoing(engine, &statusPending)) return;

    if (!writePending || !statusPending) continue;
    switch (port.WaitForAny()) {
      case platform::WaitResult::kData: {
        const platform::IoResult result = port.DataResult();
        if (result.status == platform::IoResult::kOk) {
          ConfirmWritten(engine, send, result.value);
          writePending = false;
        } else if (result.status == platform::IoResult::kFailed) {
          ErrorExit(engine, "GetOverlappedResult (write)", platform::LastSystemError());
          return;
        }
        break;
      }
      case platform::WaitResult::kEvent:
        if (!ServeCompletedStatusWait(engine, &statusPending)) return;
        break;
      case platform::WaitResult::kFailed:
        ErrorExit(engine, "transmission", platform::LastSystemError());
        return;
    }
  }
}

}  // namespace

void SendEngine() {
  EngineRun engine;
  engine.id = run::Begin();
  // Stopped before this thread got going: whoever stopped it has reset everything.
  if (!run::IsMine(engine.id)) return;
  if (GivesWayToListen()) {
    GiveWay(engine);
    return;
  }
  // The Stop image was put on the button by whoever started the run, on the window thread: set
  // from here it could land after a Stop that came meanwhile and show Stop on an idle program.

  if (!run::CloseOpenFile(engine.id)) return;
  engine.file = platform::File::Open(app.openFilePath, platform::FileMode::kReadShared);
  if (!engine.file) {
    ErrorExit(engine, LocalText("niewłaściwy plik", "invalid file"), platform::LastSystemError());
    return;
  }
  if (!run::AdoptFile(engine.id, engine.file)) return;

  uint64_t fileSize = 0;
  if (engine.file->Size(&fileSize) && fileSize > kLargestFileSize) {
    ErrorExit(engine, FileTooLargeText(), 0);
    return;
  }
  if (engine.file->Size(&fileSize) && fileSize == 0) {
    if (!run::IsMine(engine.id)) return;
    AppendControlText(ErrorsBox, LocalText("plik pusty\r\n", "File empty\r\n"));
    if (!ResetRunIfMine(engine.id, 1)) return;
    if (app.listenMode.load() == 1) StartListeningAfter(engine.id);
    return;
  }

  if (!OpenRunPort(engine, kSendTimeout, kAllEvents)) return;

  if (!engine.file->Size(&fileSize)) {
    ErrorExit(engine, "getting file information", platform::LastSystemError());
    return;
  }
  SendState send;
  send.size = static_cast<uint32_t>(fileSize);
  if (!run::IsMine(engine.id)) return;
  ShowCount(CountField, static_cast<int32_t>(send.size));
  send.chunkCount = static_cast<int32_t>((static_cast<uint64_t>(send.size) + 1023) / 1024);
  send.progress.Setup(send.chunkCount);

  uint8_t* buffer = new (std::nothrow) uint8_t[kBlockSize];
  if (buffer == nullptr) {
    ErrorExit(engine, "allocating buffer", platform::LastSystemError());
    return;
  }
  if (run::IsMine(engine.id)) ShowLineStatusOf(engine.port.get(), 0, 0, platform::ComStat{});

  if (GivesWayToListen()) {
    GiveWay(engine);
  } else {
    SendLoop(engine, send, buffer);
  }
  // Nothing may still write from the buffer once it is freed.
  engine.port->Close();
  delete[] buffer;
}
