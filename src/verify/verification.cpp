#include "verify/verification.h"
void BeginVerification() {}
void EndVerification() {}
void CompareReceivedFile() {}
