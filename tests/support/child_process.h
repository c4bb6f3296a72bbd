#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/system.h"

extern char** environ;

// The whole content of a file, empty when there is none.
inline std::string ReadFileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// A program of the build run as its own process, its standard output and error each in a file
// (both in the output file when `errorPath` is empty); killed if it still runs when it goes.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outputPath, const std::string& errorPath)
      : outputPath_(outputPath), errorPath_(errorPath) {
    std::vector<const char*> argv = {program.c_str()};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errorPath.empty()) {
      posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char**>(argv.data()),
                    environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    // Readable when the child has ended (this glibc's header lacks C++ linkage for the wrapper).
    if (pid_ > 0) ending_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  }
  ~ChildProcess() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
    }
    if (ending_ >= 0) close(ending_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0 && ending_ >= 0; }
  // True once WaitForExit has seen it end, by itself or by a signal.
  bool ended() const { return ended_; }
  void Signal(int number) const {
    if (pid_ > 0 && !ended_) kill(pid_, number);
  }
  // Waits up to `timeoutMs` for the end; the exit status, or -1 when it has not ended or did not
  // exit by itself.
  int WaitForExit(int timeoutMs) {
    if (!ended_) {
      pollfd wait{ending_, POLLIN, 0};
      if (ending_ < 0 || poll(&wait, 1, timeoutMs) != 1) return -1;
      waitpid(pid_, &status_, 0);
      ended_ = true;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  bool Running() {
    pollfd wait{ending_, POLLIN, 0};
    return !ended_ && poll(&wait, 1, 0) == 0;
  }
  std::string Output() const { return ReadFileText(outputPath_); }
  std::string Errors() const { return ReadFileText(errorPath_); }

 private:
  pid_t pid_ = -1;
  int ending_ = -1;
  bool ended_ = false;
  int status_ = 0;
  std::string outputPath_;
  std::string errorPath_;
};

// Checks `condition` until it holds or `timeoutMs` passes.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000) {
  const uint64_t deadline = platform::MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs);
  while (!condition()) {
    if (platform::MonotonicMilliseconds() >= deadline) return false;
    platform::SleepMilliseconds(20);
  }
  return true;
}
