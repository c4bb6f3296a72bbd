// The comparison after a verification reception, on the headless surface: two identical 64 MiB
// files, and two 1 MiB files that differ in every byte (a million report lines). Each case runs in
// a child process of its own, so that its peak memory is its own.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/text_field.h"
#include "frontend/headless/headless_surface.h"
#include "platform/files.h"
#include "support/pty_pair.h"
#include "ui/control_ids.h"
#include "verify/verification.h"

namespace {

constexpr size_t kMiB = 1u << 20;

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Writes `chunks` MiB to both files, chunk by chunk; the second file's bytes are flipped when
// `differ` is set.
void WriteFiles(const TempDir& dir, size_t chunks, bool differ) {
  auto reference =
      platform::File::Open(dir.File("ref.bin").c_str(), platform::FileMode::kReadWriteCreate);
  auto received =
      platform::File::Open(dir.File("wer0.tmp").c_str(), platform::FileMode::kReadWriteCreate);
  if (!reference || !received) {
    std::perror("creating the files");
    _exit(2);
  }
  for (size_t chunk = 0; chunk < chunks; ++chunk) {
    std::vector<uint8_t> bytes = RandomBytes(kMiB, static_cast<uint32_t>(chunk + 1));
    uint32_t done = 0;
    reference->Write(bytes.data(), kMiB, &done);
    if (differ) {
      for (uint8_t& byte : bytes) byte ^= 0xFF;
    }
    received->Write(bytes.data(), kMiB, &done);
  }
}

int RunCase(const char* name, size_t chunks, bool differ, double aimSeconds) {
  TempDir dir;
  WriteFiles(dir, chunks, differ);

  HeadlessSurface surface;
  ClearAppState();
  app.language = 1;
  app.mainWindow = &surface;
  CopyText(app.startDirectory, dir.path().c_str());
  app.verifyOn = 1;
  app.transferMode = 1;
  CopyText(app.verifyReferencePath, dir.File("ref.bin").c_str());
  CopyText(app.openFilePath, dir.File("wer0.tmp").c_str());
  CopyText(app.tempFilePath, app.openFilePath);
  app.verifyReferenceFile.Set(
      platform::File::Open(app.verifyReferencePath, platform::FileMode::kReadWriteExisting));
  app.openFile.Set(platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteExisting));

  const double before = PeakMiB();
  const auto start = std::chrono::steady_clock::now();
  CompareReceivedFile();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double peak = PeakMiB();

  const std::string box = surface.GetText(ErrorsBox);
  const std::string summary = differ ? "different bytes: " + std::to_string(chunks * kMiB) + "\r\n"
                                     : std::string("files are similar\r\n");
  const bool right = box.size() >= summary.size() &&
                     box.compare(box.size() - summary.size(), summary.size(), summary) == 0;
  std::printf(
      "%-34s %6.3f s (aim < %.1f s)  peak memory %7.1f MiB (%+.1f MiB during the comparison)  "
      "box %6.1f MiB  %s\n",
      name, seconds, aimSeconds, peak, peak - before, static_cast<double>(box.size()) / kMiB,
      right ? "summary ok" : "WRONG RESULT");
  app.mainWindow = nullptr;
  ClearAppState();
  return right ? 0 : 1;
}

int InChild(const char* name, size_t chunks, bool differ, double aimSeconds) {
  std::fflush(stdout);
  pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    int code = RunCase(name, chunks, differ, aimSeconds);
    std::fflush(stdout);
    _exit(code);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main() {
  int failures = 0;
  failures += InChild("identical files, 64 MiB", 64, false, 0.5);
  failures += InChild("wholly different files, 1 MiB", 1, true, 2.0);
  return failures ? 1 : 0;
}
