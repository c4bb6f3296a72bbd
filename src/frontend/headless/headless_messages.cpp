#include "frontend/headless/headless_messages.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/files.h"

namespace {

std::mutex lock;
std::deque<MessageAnswer> messageAnswers;
std::vector<ShownMessage> shownMessages;
std::function<void(const ShownMessage&)> messageObserver;

std::deque<std::optional<std::string>> dialogAnswers;  // empty optional: cancel
std::vector<ShownFileDialog> shownDialogs;
std::function<void(const ShownFileDialog&)> dialogObserver;

MessageAnswer Fit(MessageAnswer answer, MessageButtons buttons) {
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  return answer == MessageAnswer::kNo ? MessageAnswer::kNo : MessageAnswer::kYes;
}

// Enters the folder of `path` and gives its last part; false when either cannot be done.
bool EnterFolderOf(const std::string& path, std::string* name) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    *name = path;
  } else {
    std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    if (!platform::SetCurrentDir(folder.c_str())) return false;
    *name = path.substr(slash + 1);
  }
  return !name->empty();
}

}  // namespace

MessageAnswer ShowHeadlessMessage(const std::string& text, const std::string& caption,
                                  MessageButtons buttons) {
  ShownMessage shown{text, caption, buttons, MessageAnswer::kOk};
  std::function<void(const ShownMessage&)> observer;
  {
    std::lock_guard<std::mutex> hold(lock);
    MessageAnswer answer =
        buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kYes;
    if (!messageAnswers.empty()) {
      answer = messageAnswers.front();
      messageAnswers.pop_front();
    }
    shown.answer = Fit(answer, buttons);
    shownMessages.push_back(shown);
    observer = messageObserver;
  }
  if (observer) observer(shown);
  return shown.answer;
}

void QueueMessageAnswer(MessageAnswer answer) {
  std::lock_guard<std::mutex> hold(lock);
  messageAnswers.push_back(answer);
}

std::vector<ShownMessage> ShownMessages() {
  std::lock_guard<std::mutex> hold(lock);
  return shownMessages;
}

void SetMessageObserver(std::function<void(const ShownMessage&)> observer) {
  std::lock_guard<std::mutex> hold(lock);
  messageObserver = std::move(observer);
}

void ResetHeadlessMessages() {
  std::lock_guard<std::mutex> hold(lock);
  messageAnswers.clear();
  shownMessages.clear();
  messageObserver = nullptr;
}

void QueueFileDialogPath(const std::string& path) {
  std::lock_guard<std::mutex> hold(lock);
  dialogAnswers.emplace_back(path);
}

void QueueFileDialogCancel() {
  std::lock_guard<std::mutex> hold(lock);
  dialogAnswers.emplace_back(std::nullopt);
}

bool ShowHeadlessFileDialog(bool save, const char* title, char* name, size_t width) {
  std::optional<std::string> answer;
  std::function<void(const ShownFileDialog&)> observer;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!dialogAnswers.empty()) {
      answer = dialogAnswers.front();
      dialogAnswers.pop_front();
    }
    observer = dialogObserver;
  }

  ShownFileDialog shown{save, title ? title : "", ""};
  std::string chosenName;
  bool chosen = answer && EnterFolderOf(*answer, &chosenName) && chosenName.size() < width;
  if (chosen) {
    std::memcpy(name, chosenName.c_str(), chosenName.size() + 1);
    shown.chosen = *answer;
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    shownDialogs.push_back(shown);
  }
  if (observer) observer(shown);
  return chosen;
}

std::vector<ShownFileDialog> ShownFileDialogs() {
  std::lock_guard<std::mutex> hold(lock);
  return shownDialogs;
}

void SetFileDialogObserver(std::function<void(const ShownFileDialog&)> observer) {
  std::lock_guard<std::mutex> hold(lock);
  dialogObserver = std::move(observer);
}

void ResetHeadlessFileDialogs() {
  std::lock_guard<std::mutex> hold(lock);
  dialogAnswers.clear();
  shownDialogs.clear();
  dialogObserver = nullptr;
}
