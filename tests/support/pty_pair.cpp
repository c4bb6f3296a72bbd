#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/system.h"

PtyPair::PtyPair() {
  int device = -1;
  char name[256] = {};
  if (openpty(&master_, &device, name, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed: errno " << errno;
    return;
  }
  termios raw{};
  tcgetattr(device, &raw);
  cfmakeraw(&raw);
  tcsetattr(device, TCSANOW, &raw);
  device_ = device;
  devicePath_ = name;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(device_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
  if (master_ >= 0) close(master_);
  if (device_ >= 0) close(device_);
}

void PtyPair::LinkAs(const std::string& directory, const std::string& portName) const {
  std::string link = directory + "/" + portName;
  unlink(link.c_str());
  if (symlink(devicePath_.c_str(), link.c_str()) != 0) ADD_FAILURE() << "symlink " << link;
}

void PtyPair::Write(const std::vector<uint8_t>& bytes) const {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = write(master_, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) {
      ADD_FAILURE() << "peer write failed: errno " << errno;
      return;
    }
    pollfd wait{master_, POLLOUT, 0};
    poll(&wait, 1, 100);
  }
}

void PtyPair::Write(const std::string& bytes) const {
  Write(Bytes(bytes));
}

std::vector<uint8_t> PtyPair::ReadAvailable(size_t count, int timeoutMs) const {
  std::vector<uint8_t> got;
  uint8_t buffer[4096];
  while (got.size() < count) {
    pollfd wait{master_, POLLIN, 0};
    if (poll(&wait, 1, timeoutMs) <= 0) break;
    ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
  }
  return got;
}

std::vector<PtyPair::TimedByte> PtyPair::ReadUntilSilence(int silenceMs, int timeoutMs) const {
  std::vector<TimedByte> got;
  uint64_t start = platform::MonotonicMilliseconds();
  uint8_t buffer[4096];
  for (;;) {
    uint64_t now = platform::MonotonicMilliseconds();
    if (now - start >= static_cast<uint64_t>(timeoutMs)) break;
    int wait = static_cast<int>(std::min<uint64_t>(silenceMs, timeoutMs - (now - start)));
    pollfd ready{master_, POLLIN, 0};
    if (poll(&ready, 1, wait) <= 0) break;
    ssize_t n = read(master_, buffer, sizeof buffer);
    uint64_t at = platform::MonotonicMilliseconds();
    for (ssize_t i = 0; i < n; ++i) got.push_back({buffer[i], at});
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
  }
  return got;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tazo-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  Write(name, Bytes(bytes));
}

std::vector<uint8_t> TempDir::Read(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempDir::Exists(const std::string& name) const {
  return std::filesystem::exists(std::filesystem::symlink_status(File(name)));
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(count);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(generator());
  return bytes;
}

std::vector<uint8_t> DataWithoutEndMark(size_t count, uint32_t seed) {
  std::vector<uint8_t> data = RandomBytes(count, seed);
  for (uint8_t& byte : data)
    if (byte == 3) byte = 4;
  return data;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}
