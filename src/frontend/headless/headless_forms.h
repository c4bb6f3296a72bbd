#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/files.h"

// The settings dialog, the file viewer and context help of the headless front end.

// SettingsButton: opens the settings dialog (modal in a windowed front end; here it stays open
// until the script presses OK or Cancel).
void OpenHeadlessSettingsDialog();
// Opens the viewer on a file of its own; mode 0 text, 1 hex. Replaces a viewer already shown.
void OpenHeadlessViewer(std::shared_ptr<platform::File> file, const char* title, int mode);
void CloseHeadlessViewer();
bool HeadlessViewerShown();

// A script command of the headless driver that belongs to these windows ("settings ...",
// "viewer ...", "help ..."). Returns false when `words` is not such a command; otherwise carries it
// out, printing to `out`, and sets `error` when it failed.
bool RunFormsCommand(const std::vector<std::string>& words, std::ostream& out, std::string* error);
