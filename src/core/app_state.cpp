#include "core/app_state.h"

#include <cstring>

AppState app;

void ClearAppState() {
  app.portHandle.Close();
  app.openFile.Close();
  app.verifyReferenceFile.Close();

  PortSettings& settings = app;
  std::memset(&settings, 0, sizeof settings);
  std::memset(app.startDirectory, 0, sizeof app.startDirectory);
  std::memset(app.helpFilePath, 0, sizeof app.helpFilePath);
  app.mainWindow = nullptr;
  app.viewerWindow = nullptr;
  std::memset(&app.portDcb, 0, sizeof app.portDcb);
  std::memset(app.modeText, 0, sizeof app.modeText);
  std::memset(app.openFilePath, 0, sizeof app.openFilePath);
  std::memset(app.openFileTitle, 0, sizeof app.openFileTitle);
  std::memset(app.fileCaptionText, 0, sizeof app.fileCaptionText);
  std::memset(app.tempFilePath, 0, sizeof app.tempFilePath);

  app.transferMode = 0;
  app.transferRunning = 0;
  app.bytesReceived = 0;
  app.listenMode = 0;
  app.listenByUser = 0;
  app.sendThread = 0;
  app.sendThreadId = 0;
  app.receiveThread = 0;
  app.receiveThreadId = 0;

  app.sendFileRequested = 0;
  app.sendDirRequested = 0;
  app.changeDirRequested = 0;
  app.commandCursor = 0;
  app.commandNameLength = 0;
  app.dirChangeOk = 0;
  std::memset(app.previousDirectory, 0, sizeof app.previousDirectory);
  std::memset(app.requestCommand, 0, sizeof app.requestCommand);
  std::memset(app.requestArgument, 0, sizeof app.requestArgument);
  app.tempFileNumber = 0;
  app.delayCountdown = 0;
  app.replyTimerId = 0;
  app.runningReplyTimer = 0;

  app.verifyOn = 0;
  app.savedTransferMode = 0;
  std::memset(app.verifyReferencePath, 0, sizeof app.verifyReferencePath);

  std::memset(app.animationImages, 0, sizeof app.animationImages);
  app.startImage = 0;
  app.stopImage = 0;
  app.animationTimerId = 0;
  app.animationFrame = 0;
  app.settingsCloseAfterApply = 0;
  std::memset(app.commandNameInput, 0, sizeof app.commandNameInput);
  app.viewerLineStarts = nullptr;
  std::memset(app.lastErrorText, 0, sizeof app.lastErrorText);
}
