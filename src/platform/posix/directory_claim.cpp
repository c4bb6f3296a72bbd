#include "platform/directory_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace platform {

// The lock is taken on the directory itself, so that every path that reaches it (a link, a bind
// mount) meets the same claim, and it goes with the last descriptor, which the kernel closes when
// the process ends. The descriptor is not inherited by programs started from here.
DirectoryClaim::Result DirectoryClaim::ClaimCurrentDirectory(
    std::unique_ptr<DirectoryClaim>* claim) {
  const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Result::kFailed;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return error == EWOULDBLOCK ? Result::kHeldElsewhere : Result::kFailed;
  }
  claim->reset(new (std::nothrow) DirectoryClaim(fd));
  if (!*claim) {
    ::close(fd);
    errno = ENOMEM;
    return Result::kFailed;
  }
  return Result::kClaimed;
}

DirectoryClaim::~DirectoryClaim() {
  ::close(static_cast<int>(native_));
}

}  // namespace platform
