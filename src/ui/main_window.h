#pragma once

// The main window's logic, called by each front end.

// Sets every label of the main window in the current language (also run after each settings apply).
void SetMainWindowLabels();
