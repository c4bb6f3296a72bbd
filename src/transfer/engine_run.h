#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/files.h"
#include "platform/serial_port.h"

// Every engine run has its own identity. A reset ends the current run, so that a run which has
// been reset does nothing more to the port, the files, the flags or the controls, even when the
// next run has already set transferRunning to 1.
namespace run {

using RunId = uint64_t;

// Makes the calling engine the current run and sets transferRunning to 1. A run that is still
// current is ended first (its port and file closed): at most one engine works at a time.
RunId Begin();
// True while `id` is the current run and transferRunning is 1.
bool IsMine(RunId id);
// True while no run has begun since `id`, whether or not `id` has ended.
bool IsLatest(RunId id);
// Ends the current run, if any: transferRunning 0, port and file closed for every holder, thread
// handles marked closed.
void EndCurrent();
// The same for `id` only; false when it was no longer current (someone else reset it).
bool EndIfMine(RunId id);

// Publishes the run's own port or file in the application state. When the run has ended meanwhile
// the object is closed instead and false is returned.
bool AdoptPort(RunId id, const std::shared_ptr<platform::SerialPort>& port);
bool AdoptFile(RunId id, const std::shared_ptr<platform::File>& file);
// Closes openFile on behalf of the run; false when the run has ended.
bool CloseOpenFile(RunId id);

// True while listen mode is on and no run has begun since `id`.
bool StillListeningAfter(RunId id);
// Runs `commit` under the run lock while StillListeningAfter(id), so that what a listen answer
// hands over (the file to send, its path) never lands after listening was ended or a file was
// chosen. `commit` must not call the surface or anything that takes the run lock. False when
// listening had ended and nothing was run.
bool CommitWhileListening(RunId id, const std::function<void()>& commit);

// kReceive decides at its start, by listenMode, between file reception and listening; kListen
// only ever listens, and gives way when listen mode is off by the time it runs.
enum class Engine { kSend, kReceive, kListen };
// Starts an engine thread and keeps its handle. With `after` nonzero, only while no run has begun
// since that run (an ending engine must not start a second engine beside a newer run). kListen
// starts only while listen mode is on.
bool StartEngine(Engine engine, RunId after);

// Waits up to `milliseconds`, giving up as soon as `keepWaiting` turns false; true when the whole
// pause passed.
bool Pause(uint32_t milliseconds, bool (*keepWaiting)(RunId), RunId id);

// replyDelay is written by resets on engine threads and read by the window thread.
uint8_t ReplyDelay();
void SetReplyDelay(uint8_t seconds);

}  // namespace run

// The reset's own steps for a run that is still current; false (nothing done) otherwise.
bool ResetRunIfMine(run::RunId id, int skipWhileListening);
// Listening started by an ending engine: nothing happens when a newer run has begun meanwhile.
void StartListeningAfter(run::RunId id);
// The controls that a start changed, back as a reset leaves them (no flush, no verification end).
void RestoreTransferControls();
// The line status of a given port (an engine passes its own reference).
void ShowLineStatusOf(platform::SerialPort* port, uint32_t eventMask, uint32_t errors,
                      const platform::ComStat& status);
