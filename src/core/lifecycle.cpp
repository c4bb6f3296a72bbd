#include "core/lifecycle.h"
void RunStartUpSteps() {}
void RunShutDownSteps() {}
