#pragma once

void BeginVerification();
void EndVerification();
void CompareReceivedFile();
