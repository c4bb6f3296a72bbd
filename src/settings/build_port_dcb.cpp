#include "settings/port_dcb.h"
int BuildPortDcb() { return 0; }
