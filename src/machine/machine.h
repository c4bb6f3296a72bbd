#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "machine/line.h"
#include "machine/replies.h"

// The machine tool's controller on its end of the line: what it sends goes out the way the
// program expects a file (the bytes, a pause of 1000 ms, the byte 3), what arrives is kept up to
// the byte 3 in the memory, and replies to its requests are recognised.
namespace machine {

int64_t NowMs();

// Something that arrived, up to its end byte 3.
struct Arrival {
  enum Kind { kFile, kRequested, kReply, kIncomplete } kind = kFile;
  std::string name;      // where the memory keeps it
  std::string bytes;     // without the byte 3
  long pauseMs = -1;     // silence before the byte 3; -1 when it came with the data
  std::string askedFor;  // the request it answers (replies and requested files)
  Reply reply;
};

class Machine {
 public:
  Machine(Line& line, std::ostream& out, const std::string& portLabel);

  // Files by name: the machine's own programs at the top, what arrived in the folders
  // "received/", "fetched/" (requested files) and "replies/".
  std::map<std::string, std::string>& memory() { return memory_; }

  enum class Wake { kDone, kDeadline, kConsole, kQuit };
  // Serves the line until `done` holds (checked after every event), the deadline passes (-1:
  // none), standard input is readable (when `watchConsole`), or a signal or the watched process
  // ends the machine.
  Wake Run(const std::function<bool()>& done, int64_t deadline, bool watchConsole);

  // Sends a file: waits for the program to hold the line (until `waitDeadline`, -1: for ever),
  // then the bytes, 1000 ms, the byte 3. `block` sends the bytes alone, in one write. Returns
  // an id for Finished/Succeeded.
  long Queue(const std::string& label, const std::string& bytes, bool block, int64_t waitDeadline);
  bool Finished(long id) const { return id <= lastFinished_; }
  bool Succeeded(long id) const { return succeeded_.count(id) != 0; }
  // Drops what waits to be sent; true when something was dropped.
  bool CancelQueued();

  // A request just sent: the next reply (or headerless file, for a file request) answers it.
  void NoteRequest(const std::string& what, bool fileRequest, const std::string& fileName);

  // What arrived and no expectation has taken yet, oldest first; the last arrival of all.
  std::deque<Arrival>& unclaimed() { return unclaimed_; }
  const Arrival* last() const { return haveLast_ ? &last_ : nullptr; }

  // Whether the program holds its end of the line open (always true on a real port).
  bool PeerHolds() const { return line_.PeerOpen(); }

  // The line as it stands: who holds it, what is queued or half received.
  std::string Status() const;

  // The machine also ends when this process does (0: no such watch).
  void EndWithProcess(int pid) { watchedPid_ = pid; }
  // Output: every line goes through here so that the console prompt can be redrawn.
  void Say(const std::string& text);
  void SetPrompt(const std::string& prompt) { prompt_ = prompt; }
  void ShowPrompt();
  // The user ended a line at the prompt: the cursor stands at the start of a new line.
  void PromptAnswered() { promptShown_ = false; }
  // A signal, the watched process or a failed port has ended the machine.
  bool Ended() const { return ended_; }

 private:
  struct Outgoing {
    long id = 0;
    std::string label;
    std::string bytes;
    bool block = false;
    int64_t waitDeadline = -1;
    enum Phase { kWaiting, kWriting, kDraining, kPausing } phase = kWaiting;
    size_t written = 0;
    long opening = 0;
    int64_t pauseUntil = 0;
    bool announced = false;
  };

  bool ReadLine();
  void TakeBytes(const std::string& bytes, int64_t now);
  void Complete(bool ended, int64_t now);
  void StepOutgoing(int64_t now);
  void Finish(bool success, const std::string& message);
  bool Ready() const;
  int64_t NextTimer(int64_t now) const;

  Line& line_;
  std::ostream& out_;
  std::string portLabel_;
  std::map<std::string, std::string> memory_;
  std::deque<Outgoing> queue_;
  long nextId_ = 1;
  long lastFinished_ = 0;
  std::set<long> succeeded_;
  long usedOpening_ = 0;

  std::string incoming_;
  int64_t lastDataAt_ = 0;
  bool dataInLastChunk_ = false;
  int receivedCount_ = 0;
  int replyCount_ = 0;

  bool requestPending_ = false;
  bool fileRequest_ = false;
  std::string requestText_;
  std::string requestedName_;

  std::deque<Arrival> unclaimed_;
  Arrival last_;
  bool haveLast_ = false;

  int watchedPid_ = 0;
  std::string prompt_;
  bool promptShown_ = false;
  bool ended_ = false;
};

// Installs the handlers that end Run on SIGINT, SIGTERM and SIGHUP.
bool InstallSignalHandlers();

}  // namespace machine
