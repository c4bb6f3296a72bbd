#pragma once

#include <atomic>
#include <cstdint>

#include "core/handle_slots.h"
#include "platform/system.h"
#include "settings/port_dcb.h"

class Surface;

// Text widths, the terminator included.
constexpr size_t kPortNameWidth = 5;
constexpr size_t kBaudTextWidth = 7;
constexpr size_t kCommandNameWidth = 21;
constexpr size_t kPathWidth = 260;
constexpr size_t kCaptionWidth = 50;

// The persisted part of the state, in the order of the settings file.
struct PortSettings {
  // Up to five characters: a five-character name ("COM10" to "COM99") fills the field with no
  // terminator, so it is read with FieldLength, never as a C string.
  char portName[kPortNameWidth];
  char baudText[kBaudTextWidth];
  uint8_t parityIndex;     // 0 even, 1 mark, 2 none, 3 odd, 4 space
  uint8_t byteSizeIndex;   // data bits minus 4
  uint8_t stopBitsIndex;   // 0 one, 1 one and a half, 2 two
  uint8_t ctsFlow;         // output waits for CTS
  uint8_t rtsControl;      // 0 disable, 1 enable, 2 handshake, 3 toggle
  uint8_t dtrControl;      // 0 disable, 1 enable, 2 handshake
  uint8_t dsrSensitivity;  // input ignored while DSR is off
  uint8_t dsrFlow;         // output waits for DSR
  uint8_t xonXoff;         // XON/XOFF both ways
  uint8_t language;        // 0 Polish, 1 English
  uint8_t replyDelay;      // listen-mode reply delay in seconds
  uint8_t chgdirConfirm;   // answer change-directory commands
  char workingDirectory[kPathWidth];
  char sendFileCommand[kCommandNameWidth];
  char changeDirCommand[kCommandNameWidth];
  char sendDirCommand[kCommandNameWidth];
};

// The one process-wide record of settings and run-time state, zero at start. The fields that
// signal between the window thread and an engine thread are atomic; handles that both reach are
// held in slots.
struct AppState : PortSettings {
  // Paths and handles.
  char startDirectory[kPathWidth];
  char helpFilePath[kPathWidth];
  std::atomic<Surface*> mainWindow;
  void* viewerWindow;  // the front end's viewer window last opened
  PortSlot portHandle;
  PortDcb portDcb;
  char modeText[13];
  FileSlot openFile;
  char openFilePath[kPathWidth];
  char openFileTitle[kPathWidth];
  char fileCaptionText[kCaptionWidth];
  char tempFilePath[kPathWidth];

  // Transfer state.
  std::atomic<int> transferMode;  // 0 send, 1 receive
  std::atomic<int> transferRunning;
  std::atomic<int> bytesReceived;
  std::atomic<uint8_t> listenMode;
  std::atomic<int> listenByUser;
  platform::ThreadHandle sendThread;
  uint32_t sendThreadId;
  platform::ThreadHandle receiveThread;
  uint32_t receiveThreadId;

  // Listen service.
  std::atomic<int> sendFileRequested;
  std::atomic<int> sendDirRequested;
  std::atomic<int> changeDirRequested;
  int commandCursor;
  int commandNameLength;
  int dirChangeOk;
  char previousDirectory[kPathWidth];
  // The last command file's command name and argument as they came over the line, for the report
  // of its answer (the argument fields are rewritten while the answer is made).
  char requestCommand[kCommandNameWidth];
  char requestArgument[kPathWidth];
  int tempFileNumber;
  int8_t delayCountdown;
  std::atomic<uint8_t> replyTimerId;  // set on the engine thread that starts timer 2
  // Timer 2 while the reply countdown runs, 0 otherwise: DelayField then shows the seconds left.
  std::atomic<uint8_t> runningReplyTimer;

  // Verification.
  std::atomic<int> verifyOn;
  int savedTransferMode;
  char verifyReferencePath[kPathWidth];
  FileSlot verifyReferenceFile;

  // Window resources and timers.
  int animationImages[5];
  int startImage;
  int stopImage;
  int animationTimerId;
  int animationFrame;
  int settingsCloseAfterApply;
  char commandNameInput[3][kCommandNameWidth];
  void* viewerLineStarts;  // the line table of the viewer last opened

  // Error reporting.
  char lastErrorText[128];
};

extern AppState app;

// Puts every field back to zero, as at process start (closing any handle still held).
void ClearAppState();
