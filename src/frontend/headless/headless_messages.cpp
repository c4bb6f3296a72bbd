#include "frontend/headless/headless_messages.h"
MessageAnswer ShowHeadlessMessage(const std::string&, const std::string&, MessageButtons buttons) {
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
}
