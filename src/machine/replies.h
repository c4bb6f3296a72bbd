#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the program answers a machine in listen mode, told from the bytes that arrived (without
// the end byte 3).
namespace machine {

enum class ReplyKind {
  kNoHeader,          // not a reply: a file as it stands (the requested file, or a plain send)
  kFileNotSent,       // the requested file could not be opened
  kDirectoryChanged,  // confirmation of a successful change
  kDirectoryNotChanged,
  kListing,
  kUnknown,  // headed "%MPF998" but of no known form
};

struct ListingEntry {
  std::string name;  // Windows-1250, as the program spells it
  bool directory = false;
  uint64_t size = 0;
};

struct Reply {
  ReplyKind kind = ReplyKind::kNoHeader;
  bool polish = false;
  bool changeFailed = false;     // a listing with its "not changed" line
  std::string currentDirectory;  // confirmation and listing
  std::vector<ListingEntry> entries;
  std::string problem;  // kUnknown: what did not fit
};

constexpr char kReplyHeader[] = "%MPF998\r\n";

Reply RecognizeReply(const std::string& bytes);

// A short description: "listing of DIR, 4 entries", "File not sent", ...
std::string DescribeReply(const Reply& reply);

// The name a script uses for a kind: file, not-sent, changed, not-changed, listing, unknown.
const char* ReplyKindName(ReplyKind kind);
bool ReplyKindFromName(const std::string& name, ReplyKind* kind);

// A command file as a machine in listen mode sends it: the header line, the command name and its
// argument (both Windows-1250), a line end, and the end byte 3 directly after, so that the
// program reads it all as one block.
std::string CommandFile(const std::string& name, const std::string& argument);

// The three command names the program in `startDirectory` answers to, read from its settings
// file (Windows-1250, as stored; empty when a name is not set). False, with `error`, when the
// file cannot be read whole.
struct CommandNames {
  std::string sendFile;
  std::string changeDirectory;
  std::string sendDirectory;
};
bool ReadCommandNames(const std::string& settingsPath, CommandNames* names, std::string* error);

}  // namespace machine
