#pragma once

#include <functional>
#include <string>
#include <vector>

// Message boxes of the headless front end: each one shown is recorded (and printed by the driver),
// and answered from the script's queue of answers; without a queued answer it is answered with its
// first button (OK, or Yes).
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

MessageAnswer ShowHeadlessMessage(const std::string& text, const std::string& caption,
                                  MessageButtons buttons);

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageButtons buttons;
  MessageAnswer answer;
};

// The answer to the next message box. An answer that the box has no button for gives its first
// button (an OK box always answers OK).
void QueueMessageAnswer(MessageAnswer answer);
// Every box shown since the last reset, in order.
std::vector<ShownMessage> ShownMessages();
// Called (on the showing thread) for each box as it is answered.
void SetMessageObserver(std::function<void(const ShownMessage&)> observer);
// Forgets the queue, the record and the observer.
void ResetHeadlessMessages();

// The save-file and open-file dialogs. A queued path chooses that file: the dialog makes the
// file's folder (a relative path is taken from the current directory) the current directory and
// answers the name; a queued cancel, or no queued answer, cancels. A folder that cannot be entered
// or a name that does not fit cancels too.
void QueueFileDialogPath(const std::string& path);
void QueueFileDialogCancel();
struct ShownFileDialog {
  bool save;
  std::string title;
  std::string chosen;  // the path answered, empty when cancelled
};
bool ShowHeadlessFileDialog(bool save, const char* title, char* name, size_t width);
std::vector<ShownFileDialog> ShownFileDialogs();
void SetFileDialogObserver(std::function<void(const ShownFileDialog&)> observer);
void ResetHeadlessFileDialogs();
