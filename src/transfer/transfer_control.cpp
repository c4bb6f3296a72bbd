#include "transfer/transfer_control.h"
void StartStopTransfer() {}
void StartListening() {}
void EndListening() {}
void ResetAfterTransfer(int) {}
