#include "ui/main_window.h"
void SetMainWindowLabels() {}
