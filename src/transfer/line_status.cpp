#include "transfer/line_status.h"
void ShowLineStatus(uint32_t, uint32_t, const platform::ComStat&) {}
