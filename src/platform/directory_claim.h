#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// A claim on a directory for as long as this process lives: a second program that asks for the
// same directory is refused while the first one holds it. The claim is an operating-system lock
// tied to the process, not a file, so a program that ends in any way (a crash included) loses it.
class DirectoryClaim {
 public:
  enum class Result {
    kClaimed,
    kHeldElsewhere,  // another program holds it
    kFailed,         // it cannot be claimed; the system error says why
  };

  // Claims the process's current directory. On kClaimed, `claim` holds it until it is destroyed.
  static Result ClaimCurrentDirectory(std::unique_ptr<DirectoryClaim>* claim);

  DirectoryClaim(const DirectoryClaim&) = delete;
  DirectoryClaim& operator=(const DirectoryClaim&) = delete;
  ~DirectoryClaim();

 private:
  explicit DirectoryClaim(intptr_t native) : native_(native) {}
  intptr_t native_;
};

}  // namespace platform
