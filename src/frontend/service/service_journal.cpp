#include "frontend/service/service_journal.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "core/code_page.h"
#include "core/local_text.h"

namespace service_journal {
namespace {

std::mutex outputLock;

// A byte below 0x20 would end or forge a journal line: it is shown as "?".
std::string OneLine(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return shown;
}

void WriteAll(const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t done = ::write(STDOUT_FILENO, bytes.data() + at, bytes.size() - at);
    if (done < 0 && errno == EINTR) continue;
    // Output that cannot be written (the journal gone) is not worth stopping the service for.
    if (done <= 0) return;
    at += static_cast<size_t>(done);
  }
}

}  // namespace

void WriteLines(const std::string& lines) {
  std::string out;
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    size_t stop = end;
    if (stop > start && lines[stop - 1] == '\r') --stop;
    out += Cp1250ToUtf8(OneLine(lines.substr(start, stop - start)));
    out += '\n';
    start = end + 1;
  }
  std::lock_guard<std::mutex> hold(outputLock);
  WriteAll(out);
}

std::string FormatRequestLine(int hour, int minute, int second, const AnsweredRequest& request) {
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d  ", hour, minute, second);
  std::string line = time;
  line += LocalText("żądanie \"", "request \"");
  line += request.command;
  if (request.argument[0] != 0) {
    line += ' ';
    line += request.argument;
  }
  line += LocalText("\": ", "\": ");

  const std::string size = std::to_string(request.size);
  const std::string reply =
      " (" + std::string(request.fileName) + ", " + size + LocalText(" bajtów)", " bytes)");
  switch (request.kind) {
    case AnsweredRequest::Kind::kSendFile:
      if (request.fileFound) {
        line += LocalText("plik ", "file ");
        line += request.fileName;
        line += ", " + size + LocalText(" bajtów", " bytes");
      } else {
        line += LocalText("nieudane wysłanie pliku", "file not sent");
        line += reply;
      }
      break;
    case AnsweredRequest::Kind::kSendDirectory:
      line += LocalText("lista katalogu ", "listing of ");
      line += request.directory;
      line += ", " + std::to_string(request.entries) + LocalText(" pozycji", " entries");
      if (request.argument[0] != 0 && !request.directoryChanged) {
        line += LocalText(", katalog nie zmieniony", ", directory not changed");
      }
      line += reply;
      break;
    case AnsweredRequest::Kind::kChangeDirectory:
      line += request.directoryChanged
                  ? LocalText("katalog zmieniony na ", "directory changed to ")
                  : LocalText("katalog nie zmieniony, nadal ", "directory not changed, still ");
      line += request.directory;
      line += reply;
      break;
  }
  return OneLine(line);
}

}  // namespace service_journal
