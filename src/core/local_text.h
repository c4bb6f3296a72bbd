#pragma once

// Picks the Polish or the English text by the language setting: 0 Polish, 1 English, any other
// value the literal "ERROR". The argument itself is returned, not a copy.
const char* LocalText(const char* polish, const char* english);
