#pragma once

// The main window's logic, called by each front end on the window thread.

// Timer identifiers of the main window.
constexpr int kAnimationTimerId = 1;
constexpr int kReplyTimerId = 2;
constexpr int kAnimationPeriodMs = 150;
constexpr int kReplyTimerPeriodMs = 1000;

// The dialog's initialisation: delay field, labels, current directory, timer 1, start image.
void InitMainWindow();
// A command from a control (button press); identifiers without a command are ignored.
void HandleMainWindowCommand(int controlId);
// Timer 1 animates, timer 2 counts the reply delay down; other identifiers are ignored.
void HandleMainWindowTimer(int timerId);
// Context help for a control (F1); a control without help shows nothing.
void HandleMainWindowHelp(int controlId);
// The close box or ExitButton: asks, and destroys the window only on Yes.
void HandleMainWindowClose();
// The window is being destroyed: the shut-down steps, then the end of the event loop.
void HandleMainWindowDestroy();

// Sets every label of the main window in the current language (also run after each settings apply).
void SetMainWindowLabels();

// The file commands (main_window_files.cpp).
// ReceiveFileButton and SendFileButton: choose the file, which sets the transfer direction.
void ChooseReceiveFile();
void ChooseSendFile();
// ViewTextButton (mode 0) and ViewHexButton (mode 1): show the chosen file in the viewer.
void ViewChosenFile(int mode);
// HelpButton: show the help file in the viewer.
void ShowHelpFile();

// Caption of FileCaption: `prefix` then `name`, cut to what fileCaptionText holds.
void BuildFileCaption(const char* prefix, const char* name);
