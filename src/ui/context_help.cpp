#include "ui/context_help.h"
const char* HelpText(int) { return nullptr; }
const HelpEntry* FindMainWindowHelp(int) { return nullptr; }
const HelpEntry* FindSettingsDialogHelp(int) { return nullptr; }
