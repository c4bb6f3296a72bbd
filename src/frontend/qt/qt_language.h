#pragma once

// The toolkit's own texts (file dialogs, their questions, the standard buttons of message boxes)
// in the language of the settings: Qt's Polish translation is loaded while the language is Polish
// and removed in English. The program's own texts never pass through it.

// Follows `app.language`; called at start and after each apply of the settings.
void FollowLanguageInToolkit();
// Removes the translation, as the program ends.
void DropToolkitTranslation();
