#include "settings/settings_file.h"
int LoadSettings(const char*) { return 0; }
int SaveSettings(const char*) { return 1; }
