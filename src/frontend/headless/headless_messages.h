#pragma once

#include <string>

// Message boxes of the headless front end: each one shown is recorded (and printed by the driver),
// and answered from the script's queue of answers; without a queued answer it is answered with its
// first button (OK, or Yes).
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

MessageAnswer ShowHeadlessMessage(const std::string& text, const std::string& caption,
                                  MessageButtons buttons);
