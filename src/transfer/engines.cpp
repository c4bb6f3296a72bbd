#include "transfer/engines.h"
void SendEngine() {}
void ReceiveEngine() {}
