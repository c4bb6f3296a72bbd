#pragma once

#include <cstdint>
#include <functional>

// What a listen answer sends back, told to whoever watches (a front end without a window writes
// it for the operator). Called on the listening engine's thread once the reply is handed over to
// be sent; all texts are Windows-1250 and valid only during the call.
struct AnsweredRequest {
  enum class Kind { kSendFile, kChangeDirectory, kSendDirectory };
  Kind kind = Kind::kSendFile;
  const char* command = "";   // the command name as it came over the line
  const char* argument = "";  // the argument as it came over the line
  // kSendFile: true when the file itself goes back, false when the failure reply does.
  bool fileFound = false;
  const char* fileName = "";  // the file that goes back: the one asked for, or the reply's
  uint64_t size = 0;          // its size in bytes
  int entries = 0;            // kSendDirectory: the entries listed
  // The directory kinds: whether the argument changed the working directory, and that directory.
  bool directoryChanged = false;
  const char* directory = "";
};

using RequestObserver = std::function<void(const AnsweredRequest&)>;

// Set before listening starts (an empty one stops the reports).
void SetRequestObserver(RequestObserver observer);
void ReportAnsweredRequest(const AnsweredRequest& request);
