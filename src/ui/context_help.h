#pragma once

// Context help: the string-table texts 1 to 16 and, for each window, which control explains itself
// with which text and caption. Texts and captions are Polish in every language.
struct HelpEntry {
  int textId;
  const char* caption;  // Windows-1250
};

// The string-table text of `id` (1 to 16), or null.
const char* HelpText(int id);
// The entry of a main-window control, or null when the control has none.
const HelpEntry* FindMainWindowHelp(int control);
// The entry of a settings-dialog control, or null.
const HelpEntry* FindSettingsDialogHelp(int control);
