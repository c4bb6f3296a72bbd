#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "frontend/headless/headless_forms.h"
#include "ui/context_help.h"
#include "ui/control_ids.h"

namespace {

struct Expected {
  int control;
  int textId;
  const char* caption;
};

const Expected kMainWindow[] = {
    {ListenButton, 1, "Nasłuch"},
    {ReceiveFileButton, 2, "Odbierz plik"},
    {SendFileButton, 3, "Wyślij plik"},
    {VerifyButton, 4, "Weryfikacja"},
    {ViewHexButton, 5, "Zawartość(hexa)"},
    {ViewTextButton, 6, "Zawartość(text)"},
    {LastErrorSourceField, 7, "Ostatni błąd"},
    {LastErrorCodeField, 7, "Ostatni błąd"},
    {ErrorsBox, 8, "Okno błędów"},
    {DelayField, 9, "Czas do następnego"},
    {StartStopButton, 10, "Start/stop"},
    {ProgressBar, 11, "Pasek postępu"},
    {CountField, 12, "Liczba znaków"},
};

const Expected kSettingsDialog[] = {
    {1156, 13, "Komenda - wyślij plik"},
    {1057, 14, "Komenda - zmień katalog"},
    {1058, 15, "Komenda - wyślij zawartość katalogu"},
    {1164, 16, "Zmień katalog - potwierdzenie"},
};

TEST(ContextHelp, EveryControlOfBothWindowsHasItsTextAndCaption) {
  ClearAppState();
  for (const Expected& row : kMainWindow) {
    const HelpEntry* entry = FindMainWindowHelp(row.control);
    ASSERT_NE(entry, nullptr) << row.control;
    EXPECT_EQ(entry->textId, row.textId) << row.control;
    EXPECT_STREQ(entry->caption, row.caption) << row.control;
  }
  for (const Expected& row : kSettingsDialog) {
    const HelpEntry* entry = FindSettingsDialogHelp(row.control);
    ASSERT_NE(entry, nullptr) << row.control;
    EXPECT_EQ(entry->textId, row.textId);
    EXPECT_STREQ(entry->caption, row.caption);
  }
  // Controls without an entry show nothing, in either window.
  for (int control : {int(ExitButton), int(SettingsButton), int(HelpButton), int(CtsLamp), 0}) {
    EXPECT_EQ(FindMainWindowHelp(control), nullptr) << control;
  }
  for (int control : {1085, 1049, 1051, 1050, 1087, 1126}) {
    EXPECT_EQ(FindSettingsDialogHelp(control), nullptr) << control;
  }
}

TEST(ContextHelp, StringTableHoldsSixteenPolishTextsInBothLanguages) {
  ClearAppState();
  std::vector<std::string> polish;
  for (int id = 1; id <= 16; ++id) {
    ASSERT_NE(HelpText(id), nullptr) << id;
    polish.push_back(HelpText(id));
  }
  EXPECT_EQ(HelpText(0), nullptr);
  EXPECT_EQ(HelpText(17), nullptr);
  app.language = 1;
  for (int id = 1; id <= 16; ++id) EXPECT_EQ(polish[id - 1], HelpText(id)) << id;
  EXPECT_STREQ(FindMainWindowHelp(ListenButton)->caption, "Nasłuch");

  // The bytes are Windows-1250, line breaks and trailing spaces kept.
  EXPECT_EQ(std::string(FindMainWindowHelp(ListenButton)->caption), "Nas\xB3uch");
  EXPECT_EQ(polish[9].back(), '\n');
  EXPECT_NE(polish[1].find("pliku \naplikacja"), std::string::npos);
  EXPECT_EQ(polish[0].substr(polish[0].size() - 39), "%MPF999\n[komenda][nazwa pliku/katalogu]");
  EXPECT_EQ(polish[6],
            "\x8Fr\xF3"
            "d\xB3o ostatniego b\xB3\xEA"
            "du i jego kod.");
}

TEST(ContextHelp, HeadlessHelpPrintsCaptionAndTextOrNone) {
  ClearAppState();
  std::ostringstream out;
  std::string error;
  EXPECT_TRUE(RunFormsCommand({"help", "ProgressBar"}, out, &error));
  EXPECT_EQ(out.str(), "caption: Pasek postępu\nPasek postępu wysyłania pliku.\n");
  out.str("");
  EXPECT_TRUE(RunFormsCommand({"help", "ExitButton"}, out, &error));
  EXPECT_EQ(out.str(), "(none)\n");
  out.str("");
  EXPECT_TRUE(RunFormsCommand({"help", "settings", "1164"}, out, &error));
  EXPECT_EQ(out.str().substr(0, 39), "caption: Zmień katalog - potwierdzenie\n");
  out.str("");
  EXPECT_TRUE(RunFormsCommand({"help", "settings", "1085"}, out, &error));
  EXPECT_EQ(out.str(), "(none)\n");
  EXPECT_TRUE(RunFormsCommand({"help", "NoSuchButton"}, out, &error));
  EXPECT_NE(error, "");
}

}  // namespace
