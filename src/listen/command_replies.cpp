#include "listen/command_replies.h"
void AnswerSendFile() {}
void AnswerSendDirectory() {}
void AnswerChangeDirectory() {}
void FileNamePart(const char*, char* destination, size_t width) {
  if (width) destination[0] = 0;
}
