#pragma once

#include <functional>

void BeginVerification();
void EndVerification();
// Compares the received file with the reference. `stillWanted` turns false when the reception
// that called it has been ended meanwhile (the user switched verification off): a comparison that
// sees it, after reading and before touching the files and the box, leaves them to whoever ended
// it.
void CompareReceivedFile(const std::function<bool()>& stillWanted = [] { return true; });
