#pragma once

#include <cstddef>
#include <string>

// Files of the disk that the machine reads (load, send, --memory, --script, the program's
// tazo.ini) and writes (save). Only regular files: a device, a FIFO or a directory named by
// mistake is refused at once rather than read for ever, waited on or aborted on.
namespace machine {

// The largest file read from the disk: several times the largest part program a controller's
// memory holds, and small enough that a few of them never strain the machine's own memory.
constexpr size_t kLoadLimitBytes = size_t{64} << 20;
// The limit as the help states it ("64 MiB").
std::string LoadLimitText();

// The bytes of the regular file at `path` (a link to one is followed), at most kLoadLimitBytes.
// Anything else is refused with the reason in `error`, one line without the path.
bool ReadRegularFile(const std::string& path, std::string* bytes, std::string* error);

// Writes `bytes` to `path`, made anew or replacing a regular file's content; anything else that
// exists under that name is refused, nothing is opened that could block or act on a device.
bool WriteRegularFile(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace machine
