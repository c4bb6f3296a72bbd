#include "listen/command_replies.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/paths.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "platform/files.h"
#include "platform/system.h"
#include "transfer/engine_run.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

constexpr char kReplyHeader[] = "%MPF998\r\n";
constexpr int kReplyNumbers = 20;

const char* CannotCreateText() {
  return LocalText("nie mozna stworzyc pliku tmp", "can't create tmp file");
}

// Makes the first free "<base><N>.tmp" (N from 1 to 20) in the start directory the open file and
// the temporary file. Reports and goes back to listening when there is none.
bool CreateReplyFile(const char* base) {
  for (int number = 1; number <= kReplyNumbers; ++number) {
    app.tempFileNumber = number;
    char name[64];
    std::snprintf(name, sizeof name, "%s%d.tmp", base, number);
    // A path cut to the field would create a file somewhere else.
    if (!JoinPath(app.openFilePath, app.startDirectory, name)) continue;
    std::shared_ptr<platform::File> file =
        platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteNew);
    if (!file) continue;
    app.openFile.Set(std::move(file));
    CopyText(app.tempFilePath, app.openFilePath);
    return true;
  }
  ErrorReporter(CannotCreateText());
  StartListening();
  return false;
}

// Writes the reply into the file that CreateReplyFile made. A reply that cannot be written whole
// is not sent cut short: its file goes, and the failure is reported like a file not made.
bool WriteReply(const std::string& reply) {
  std::shared_ptr<platform::File> file = app.openFile.Get();
  bool written = file != nullptr;
  for (size_t at = 0; written && at < reply.size();) {
    size_t piece = reply.size() - at;
    if (piece > (1u << 30)) piece = 1u << 30;
    uint32_t done = 0;
    written = file->Write(reply.data() + at, static_cast<uint32_t>(piece), &done) && done == piece;
    at += piece;
  }
  if (written) return true;
  app.openFile.Close();
  platform::DeleteFilePath(app.tempFilePath);
  ErrorReporter(CannotCreateText());
  StartListening();
  return false;
}

void ScheduleReply() {
  app.transferMode = 0;
  run::SetReplyDelay(static_cast<uint8_t>(GetControlNumber(DelayField)));
  app.replyTimerId = StartReplyTimer();
}

void AppendCurrentDirectory(std::string* reply) {
  reply->append(LocalText("Bieżący katalog: ", "Current directory: "));
  reply->append(app.workingDirectory, FieldLength(app.workingDirectory, kPathWidth));
}

// True when `name` in the listed directory is the file this reply is written into. Paths of a
// platform with "\" as separator compare without regard to ASCII case, as its file names do.
bool IsOwnReplyFile(const std::string& name) {
  std::string path(app.workingDirectory, FieldLength(app.workingDirectory, kPathWidth));
  if (path.empty() || path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  path += name;
  std::string own(app.tempFilePath, FieldLength(app.tempFilePath, kPathWidth));
  if (path.size() != own.size()) return false;
  if (platform::kPathSeparator != '\\') return path == own;
  for (size_t i = 0; i < path.size(); ++i) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(path[i]) != fold(own[i])) return false;
  }
  return true;
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

void AnswerSendFile() {
  ResetAfterTransfer(0);
  std::shared_ptr<platform::File> file =
      platform::File::Open(app.openFilePath, platform::FileMode::kReadExclusive);
  if (file) {
    app.openFile.Set(std::move(file));
    // A caption longer than its field is cut, the name's end with it.
    std::memset(app.fileCaptionText, 0, sizeof app.fileCaptionText);
    CopyText(app.fileCaptionText, LocalText("Wyślij plik ", "Send file "));
    FileNamePart(app.openFilePath, app.openFileTitle, sizeof app.openFileTitle);
    AppendText(app.fileCaptionText, app.openFileTitle);
    SetControlText(FileCaption, app.fileCaptionText);
    SetControlText(CountField, "");
    SetControlText(CountLabel, LocalText("Bajty otrzymane", "Bytes received"));
    SetProgressPosition(ProgressBar, 0);
    app.sendFileRequested = 0;
    ScheduleReply();
    return;
  }
  ErrorReporter(LocalText("niewłaściwy plik", "invalid file"));
  platform::SleepMilliseconds(1000);
  if (!CreateReplyFile("sendfile")) return;
  std::string reply = kReplyHeader;
  reply += LocalText("Nieudane wysłanie pliku\r\n", "File not sent\r\n");
  if (!WriteReply(reply)) return;
  ScheduleReply();
}

void AnswerSendDirectory() {
  ResetAfterTransfer(0);
  app.sendDirRequested = 1;
  if (!CreateReplyFile("dispdir")) return;

  std::string reply = kReplyHeader;
  if (app.dirChangeOk == 0) {
    reply += LocalText("Katalog nie zostal zmieniony\r\n", "Directory not changed\r\n");
  }
  AppendCurrentDirectory(&reply);
  platform::DirectorySearch search;
  if (search.Open(app.workingDirectory)) {
    platform::DirectoryEntry entry;
    // The search skips entries it cannot examine and always comes to an end.
    while (search.Next(&entry)) {
      if (IsOwnReplyFile(entry.name)) continue;
      reply += "\r\n";
      reply += entry.name;
      if (entry.isDirectory) {
        reply += " [DIR]";
      } else {
        reply += LocalText(" [rozmiar: ", " [size: ");
        reply += std::to_string(entry.size);
        reply += "]";
      }
    }
    search.Close();
  }
  if (!WriteReply(reply)) return;
  ScheduleReply();
}

void AnswerChangeDirectory() {
  ResetAfterTransfer(0);
  app.changeDirRequested = 1;
  if (!CreateReplyFile("chgdir")) return;

  std::string reply = kReplyHeader;
  reply += app.dirChangeOk == 1
               ? LocalText("Katalog zmieniony\r\n", "Directory changed\r\n")
               : LocalText("Nieudana zmiana katalogu\r\n", "Directory not changed\r\n");
  AppendCurrentDirectory(&reply);
  reply += "\r\n";
  if (!WriteReply(reply)) return;
  ScheduleReply();
}
