#pragma once

#include <cstdint>

// Returns 0 when the block is not a command file, otherwise the offset of the argument's first
// byte; sets the flag of the command named and clears the other two.
int RecognizeCommandFile(const uint8_t* text, uint32_t length);
// Takes one byte of the argument; true when it ended the argument (a directory change is made
// then), false when it was stored.
bool CollectArgumentByte(uint8_t byte);
