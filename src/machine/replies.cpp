#include "machine/replies.h"

#include <cstdio>

#include "machine/disk_file.h"
#include "machine/machine_text.h"

namespace machine {
namespace {

// The program's texts in both languages, as Windows-1250 bytes.
const std::string kNotSentEn = "File not sent\r\n";
const std::string kNotSentPl =
    "Nieudane wys\xB3"
    "anie pliku\r\n";  // "Nieudane wysłanie pliku"
const std::string kChangedEn = "Directory changed\r\n";
const std::string kChangedPl = "Katalog zmieniony\r\n";
const std::string kNotChangedEn = "Directory not changed\r\n";
const std::string kNotChangedPl = "Nieudana zmiana katalogu\r\n";
const std::string kListingNotChangedPl = "Katalog nie zostal zmieniony\r\n";
const std::string kCurrentEn = "Current directory: ";
const std::string kCurrentPl =
    "Bie\xBF\xB9"
    "cy katalog: ";  // "Bieżący katalog: "
const std::string kDirSuffix = " [DIR]";
const std::string kSizeEn = " [size: ";
const std::string kSizePl = " [rozmiar: ";

bool TakePrefix(const std::string& text, size_t* at, const std::string& prefix) {
  if (text.compare(*at, prefix.size(), prefix) != 0) return false;
  *at += prefix.size();
  return true;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// One entry line of a listing: the name, then " [DIR]" or " [size: N]".
bool ParseEntry(const std::string& line, ListingEntry* entry) {
  if (EndsWith(line, kDirSuffix)) {
    entry->name = line.substr(0, line.size() - kDirSuffix.size());
    entry->directory = true;
    return true;
  }
  if (line.empty() || line.back() != ']') return false;
  for (const std::string* label : {&kSizeEn, &kSizePl}) {
    const size_t at = line.rfind(*label);
    if (at == std::string::npos) continue;
    const std::string digits =
        line.substr(at + label->size(), line.size() - 1 - at - label->size());
    if (digits.empty() || digits.size() > 20) return false;
    uint64_t size = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      size = size * 10 + static_cast<uint64_t>(c - '0');
    }
    entry->name = line.substr(0, at);
    entry->size = size;
    return true;
  }
  return false;
}

Reply Unknown(Reply reply, const std::string& problem) {
  reply.kind = ReplyKind::kUnknown;
  reply.problem = problem;
  return reply;
}

}  // namespace

Reply RecognizeReply(const std::string& bytes) {
  Reply reply;
  size_t at = 0;
  if (!TakePrefix(bytes, &at, kReplyHeader)) return reply;
  if (TakePrefix(bytes, &at, kNotSentEn) || (reply.polish = TakePrefix(bytes, &at, kNotSentPl))) {
    reply.kind = ReplyKind::kFileNotSent;
    return at == bytes.size() ? reply : Unknown(reply, "text after \"File not sent\"");
  }

  // A status line: the confirmation's two, or the listing's own Polish "not changed". The
  // English "not changed" line is the same in both; what follows the directory tells them apart.
  enum { kNone, kChanged, kNotChanged, kListingNotChanged } status = kNone;
  if (TakePrefix(bytes, &at, kChangedEn)) {
    status = kChanged;
  } else if (TakePrefix(bytes, &at, kChangedPl)) {
    status = kChanged;
    reply.polish = true;
  } else if (TakePrefix(bytes, &at, kNotChangedEn)) {
    status = kNotChanged;
  } else if (TakePrefix(bytes, &at, kNotChangedPl)) {
    status = kNotChanged;
    reply.polish = true;
  } else if (TakePrefix(bytes, &at, kListingNotChangedPl)) {
    status = kListingNotChanged;
    reply.polish = true;
  }
  if (TakePrefix(bytes, &at, kCurrentPl)) {
    reply.polish = true;
  } else if (!TakePrefix(bytes, &at, kCurrentEn)) {
    return Unknown(reply, "no current-directory label");
  }
  const size_t lineEnd = bytes.find("\r\n", at);
  reply.currentDirectory =
      bytes.substr(at, lineEnd == std::string::npos ? std::string::npos : lineEnd - at);
  const bool confirmationEnd = lineEnd != std::string::npos && lineEnd + 2 == bytes.size();

  // A confirmation ends with the directory and a line end; a listing never ends with one.
  if ((status == kChanged || status == kNotChanged) && confirmationEnd) {
    reply.kind =
        status == kChanged ? ReplyKind::kDirectoryChanged : ReplyKind::kDirectoryNotChanged;
    return reply;
  }
  if (status == kChanged || (status == kNotChanged && reply.polish)) {
    return Unknown(reply, "a change confirmation that does not end with the directory");
  }
  reply.kind = ReplyKind::kListing;
  reply.changeFailed = status != kNone;
  for (at = lineEnd; at != std::string::npos;) {
    const size_t start = at + 2;
    const size_t next = bytes.find("\r\n", start);
    const std::string line =
        bytes.substr(start, next == std::string::npos ? std::string::npos : next - start);
    ListingEntry entry;
    if (!ParseEntry(line, &entry)) {
      return Unknown(reply, "listing line \"" + Readable(line) + "\" has no [DIR] or size");
    }
    reply.entries.push_back(entry);
    at = next;
  }
  return reply;
}

std::string DescribeReply(const Reply& reply) {
  switch (reply.kind) {
    case ReplyKind::kNoHeader:
      return "no reply header: a file";
    case ReplyKind::kFileNotSent:
      return "the program could not send the file";
    case ReplyKind::kDirectoryChanged:
      return "directory changed, now " + Cp1250ToUtf8(reply.currentDirectory);
    case ReplyKind::kDirectoryNotChanged:
      return "directory NOT changed, still " + Cp1250ToUtf8(reply.currentDirectory);
    case ReplyKind::kListing: {
      std::string text = "listing of " + Cp1250ToUtf8(reply.currentDirectory) + ", " +
                         std::to_string(reply.entries.size()) + " entries";
      if (reply.changeFailed) text += " (the directory was not changed)";
      return text;
    }
    case ReplyKind::kUnknown:
      return "headed %MPF998 but not understood: " + reply.problem;
  }
  return "";
}

const char* ReplyKindName(ReplyKind kind) {
  switch (kind) {
    case ReplyKind::kNoHeader:
      return "file";
    case ReplyKind::kFileNotSent:
      return "not-sent";
    case ReplyKind::kDirectoryChanged:
      return "changed";
    case ReplyKind::kDirectoryNotChanged:
      return "not-changed";
    case ReplyKind::kListing:
      return "listing";
    case ReplyKind::kUnknown:
      return "unknown";
  }
  return "";
}

bool ReplyKindFromName(const std::string& name, ReplyKind* kind) {
  for (ReplyKind candidate :
       {ReplyKind::kNoHeader, ReplyKind::kFileNotSent, ReplyKind::kDirectoryChanged,
        ReplyKind::kDirectoryNotChanged, ReplyKind::kListing, ReplyKind::kUnknown}) {
    if (name == ReplyKindName(candidate)) {
      *kind = candidate;
      return true;
    }
  }
  return false;
}

std::string CommandFile(const std::string& name, const std::string& argument) {
  std::string file = "%MPF999\r\n" + name;
  if (!argument.empty()) file += " " + argument;
  return file + "\r\n\x03";
}

bool ReadCommandNames(const std::string& settingsPath, CommandNames* names, std::string* error) {
  // Port 5, baud 7, options 12, directory 260, then the three names of 21 bytes each.
  constexpr size_t kSize = 347;
  constexpr size_t kNamesAt = 284;
  constexpr size_t kNameWidth = 21;
  std::string content;
  std::string reason;
  if (!ReadRegularFile(settingsPath, &content, &reason) || content.size() < kSize) {
    *error = "cannot read the command names from " + settingsPath + ": " +
             (reason.empty() ? "shorter than 347 bytes" : reason);
    return false;
  }
  auto name = [&](int index) {
    const std::string field = content.substr(kNamesAt + index * kNameWidth, kNameWidth);
    return field.substr(0, field.find('\0'));
  };
  // The program's order: send a file, change directory, send the directory's content.
  names->sendFile = name(0);
  names->changeDirectory = name(1);
  names->sendDirectory = name(2);
  return true;
}

}  // namespace machine
