#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal pair made inside a test: the program opens the device end by a "COMn" link in
// its start directory, the test's peer reads and writes the master end.
class PtyPair {
 public:
  PtyPair();  // fails the current test when no pair can be made
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int master() const { return master_; }
  const std::string& devicePath() const { return devicePath_; }

  // Makes `directory`/`portName` a symbolic link to the device end.
  void LinkAs(const std::string& directory, const std::string& portName) const;

  // The peer's side. Write sends all bytes (waiting while the line is full).
  void Write(const std::vector<uint8_t>& bytes) const;
  void Write(const std::string& bytes) const;
  // Reads what arrives until `count` bytes are in or `timeoutMs` passes with nothing new.
  std::vector<uint8_t> ReadAvailable(size_t count, int timeoutMs) const;
  // Reads until nothing arrives for `silenceMs` (or `timeoutMs` in all); each byte with the
  // monotonic time it was read.
  struct TimedByte {
    uint8_t byte;
    uint64_t atMs;
  };
  std::vector<TimedByte> ReadUntilSilence(int silenceMs, int timeoutMs) const;

 private:
  int master_ = -1;
  int device_ = -1;  // held open so that the master never sees a hang-up between runs
  std::string devicePath_;
};

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  void Write(const std::string& name, const std::string& bytes) const;
  std::vector<uint8_t> Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string path_;
};

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);
// Random bytes with no byte 3 among them: a file that the end byte does not cut short.
std::vector<uint8_t> DataWithoutEndMark(size_t count, uint32_t seed);
std::vector<uint8_t> Bytes(const std::string& text);
