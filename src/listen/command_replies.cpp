#include "listen/command_replies.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/paths.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "listen/request_report.h"
#include "platform/files.h"
#include "platform/system.h"
#include "transfer/engine_run.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

constexpr char kReplyHeader[] = "%MPF998\r\n";
constexpr int kReplyNumbers = 20;
constexpr uint32_t kFailurePause = 1000;

const char* CannotCreateText() {
  return LocalText("nie mozna stworzyc pliku tmp", "can't create tmp file");
}

// A reply being prepared: it becomes the file to send only once it is written whole and
// listening is still on.
struct ReplyFile {
  std::shared_ptr<platform::File> file;
  char path[kPathWidth] = {};
  int number = 0;

  void Drop() {
    if (file) file->Close();
    platform::DeleteFilePath(path);
    if (std::strcmp(app.tempFilePath, path) == 0) app.tempFilePath[0] = 0;
  }
};

// Creates the first free "<base><N>.tmp" (N from 1 to 20) in the start directory. Reports and goes
// back to listening when there is none.
bool CreateReplyFile(run::RunId id, const char* base, ReplyFile* reply) {
  for (int number = 1; number <= kReplyNumbers; ++number) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%d.tmp", base, number);
    // A path cut to the field would create a file somewhere else.
    if (!JoinPath(reply->path, app.startDirectory, name)) continue;
    reply->file = platform::File::Open(reply->path, platform::FileMode::kReadWriteNew);
    if (!reply->file) continue;
    reply->number = number;
    // The temporary file from now on: closing the program while the reply is being written
    // (a long listing) deletes it.
    CopyText(app.tempFilePath, reply->path);
    return true;
  }
  ErrorReporter(CannotCreateText());
  StartListeningAfter(id);
  return false;
}

// A reply that cannot be written whole is not sent cut short: its file goes, and the failure is
// reported like a file not made.
bool WriteReply(run::RunId id, ReplyFile* reply, const std::string& text) {
  bool written = true;
  for (size_t at = 0; written && at < text.size();) {
    size_t piece = text.size() - at;
    if (piece > (1u << 30)) piece = 1u << 30;
    uint32_t done = 0;
    written =
        reply->file->Write(text.data() + at, static_cast<uint32_t>(piece), &done) && done == piece;
    at += piece;
  }
  if (written) return true;
  reply->Drop();
  ErrorReporter(CannotCreateText());
  StartListeningAfter(id);
  return false;
}

// Timer 2 counts DelayField down and then sends openFile's path.
void ScheduleReply() {
  run::SetReplyDelay(static_cast<uint8_t>(GetControlNumber(DelayField)));
  app.replyTimerId = StartReplyTimer();
}

// Hands the written reply over as the file to send and starts the countdown. When listening was
// switched off (or a file chosen) while the reply was prepared, the reply is dropped: nothing is
// sent and the user's choice stands. True when it goes.
bool SendReplyFile(run::RunId id, ReplyFile* reply) {
  const bool taken = run::CommitWhileListening(id, [reply] {
    app.tempFileNumber = reply->number;
    CopyText(app.openFilePath, reply->path);
    app.openFile.Set(reply->file);
    app.transferMode = 0;
  });
  if (!taken) {
    reply->Drop();
    return false;
  }
  ScheduleReply();
  return true;
}

// The request as it came, for the report of its answer.
AnsweredRequest RequestAsReceived(AnsweredRequest::Kind kind) {
  AnsweredRequest request;
  request.kind = kind;
  request.command = app.requestCommand;
  request.argument = app.requestArgument;
  return request;
}

void ReportReply(AnsweredRequest request, const ReplyFile& reply, size_t size) {
  char name[kPathWidth];
  FileNamePart(reply.path, name, sizeof name);
  request.fileName = name;
  request.size = size;
  request.directory = app.workingDirectory;
  ReportAnsweredRequest(request);
}

// A name goes into a reply as one line: a control byte in it (the end mark 3, CR, LF) would end
// the reply early or forge lines of its own, so it is shown as "?", as a name that cannot be spelt.
void AppendName(std::string* reply, const char* name, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    reply->push_back(byte < 0x20 ? '?' : name[i]);
  }
}

void AppendCurrentDirectory(std::string* reply) {
  reply->append(LocalText("Bieżący katalog: ", "Current directory: "));
  AppendName(reply, app.workingDirectory, FieldLength(app.workingDirectory, kPathWidth));
}

}  // namespace

void FileNamePart(const char* path, char* destination, size_t width) {
  if (width == 0) return;
  const char* name = path ? path : "";
  for (const char* at = name; *at; ++at) {
    if (*at == '\\' || *at == '/' || *at == ':') name = at + 1;
  }
  CopyIntoField(destination, width, name);
}

void AnswerSendFile(run::RunId id) {
  if (!ResetRunIfMine(id, 0)) return;
  // The requested path is taken while listening is known to be on: a file chosen meanwhile
  // replaces it only after listening has ended.
  char requested[kPathWidth];
  if (!run::CommitWhileListening(id, [&requested] { CopyText(requested, app.openFilePath); })) {
    return;
  }
  std::shared_ptr<platform::File> file =
      platform::File::Open(requested, platform::FileMode::kReadExclusive);
  if (file) {
    // A caption longer than its field is cut, the name's end with it.
    char title[kPathWidth];
    FileNamePart(requested, title, sizeof title);
    char caption[sizeof app.fileCaptionText] = {};
    CopyText(caption, LocalText("Wyślij plik ", "Send file "));
    AppendText(caption, title);
    const bool taken = run::CommitWhileListening(id, [&] {
      app.openFile.Set(file);
      CopyText(app.openFileTitle, title);
      std::memcpy(app.fileCaptionText, caption, sizeof caption);
      app.sendFileRequested = 0;
      app.transferMode = 0;
    });
    if (!taken) {
      file->Close();
      return;
    }
    SetControlText(FileCaption, caption);
    SetControlText(CountField, "");
    SetControlText(CountLabel, LocalText("Bajty otrzymane", "Bytes received"));
    SetProgressPosition(ProgressBar, 0);
    ScheduleReply();
    AnsweredRequest request = RequestAsReceived(AnsweredRequest::Kind::kSendFile);
    request.fileFound = true;
    request.fileName = title;
    if (!file->Size(&request.size)) request.size = 0;
    ReportAnsweredRequest(request);
    return;
  }
  ErrorReporter(LocalText("niewłaściwy plik", "invalid file"));
  if (!run::Pause(kFailurePause, run::StillListeningAfter, id)) return;
  ReplyFile reply;
  if (!CreateReplyFile(id, "sendfile", &reply)) return;
  std::string text = kReplyHeader;
  text += LocalText("Nieudane wysłanie pliku\r\n", "File not sent\r\n");
  if (!WriteReply(id, &reply, text)) return;
  if (!SendReplyFile(id, &reply)) return;
  ReportReply(RequestAsReceived(AnsweredRequest::Kind::kSendFile), reply, text.size());
}

void AnswerSendDirectory(run::RunId id) {
  if (!ResetRunIfMine(id, 0)) return;
  app.sendDirRequested = 1;
  ReplyFile reply;
  if (!CreateReplyFile(id, "dispdir", &reply)) return;

  std::string text = kReplyHeader;
  if (app.dirChangeOk == 0) {
    text += LocalText("Katalog nie zostal zmieniony\r\n", "Directory not changed\r\n");
  }
  AppendCurrentDirectory(&text);
  int entries = 0;
  platform::DirectorySearch search;
  if (search.Open(app.workingDirectory)) {
    platform::DirectoryEntry entry;
    // The search skips entries it cannot examine and always comes to an end.
    while (search.Next(&entry)) {
      // The reply's own file is not listed.
      if (IsPathOfEntry(reply.path, app.workingDirectory, entry.name.c_str(),
                        platform::kPathSeparator == '\\')) {
        continue;
      }
      ++entries;
      text += "\r\n";
      AppendName(&text, entry.name.data(), entry.name.size());
      if (entry.isDirectory) {
        text += " [DIR]";
      } else {
        text += LocalText(" [rozmiar: ", " [size: ");
        text += std::to_string(entry.size);
        text += "]";
      }
    }
    search.Close();
  }
  if (!WriteReply(id, &reply, text)) return;
  if (!SendReplyFile(id, &reply)) return;
  AnsweredRequest request = RequestAsReceived(AnsweredRequest::Kind::kSendDirectory);
  request.entries = entries;
  request.directoryChanged = app.dirChangeOk == 1;
  ReportReply(request, reply, text.size());
}

void AnswerChangeDirectory(run::RunId id) {
  if (!ResetRunIfMine(id, 0)) return;
  app.changeDirRequested = 1;
  ReplyFile reply;
  if (!CreateReplyFile(id, "chgdir", &reply)) return;

  std::string text = kReplyHeader;
  text += app.dirChangeOk == 1
              ? LocalText("Katalog zmieniony\r\n", "Directory changed\r\n")
              : LocalText("Nieudana zmiana katalogu\r\n", "Directory not changed\r\n");
  AppendCurrentDirectory(&text);
  text += "\r\n";
  if (!WriteReply(id, &reply, text)) return;
  if (!SendReplyFile(id, &reply)) return;
  AnsweredRequest request = RequestAsReceived(AnsweredRequest::Kind::kChangeDirectory);
  request.directoryChanged = app.dirChangeOk == 1;
  ReportReply(request, reply, text.size());
}
