#include "ui/context_help.h"

#include <cstddef>

#include "ui/control_ids.h"

namespace {

// The string table, entries 1 to 16. Polish only: the language setting does not change them.
const char* const kHelpTexts[] = {
    // 1
    "Jeśli przycisk jest wciśnięty, aplikacja jest w trybie nasłuchu,\n"
    "czyli czeka na otrzymanie komendy z portu RS.\n"
    "Dostępne komendy (opisane w ustawieniach):\n"
    "- wyślij plik\n"
    "- zmień katalog\n"
    "- wyślij zawartość katalogu\n"
    "Postać pliku z komendą:\n"
    "%MPF999\n"
    "[komenda][nazwa pliku/katalogu]",
    // 2
    "Przycisk służący do otwarcia pliku, do którego będą\n"
    "zapisywane dane otrzymywane z RS. Po otwarciu pliku \n"
    "aplikacja zostaje nastawiona na odbiór. Transmisja zostaje \n"
    "rozpoczęta po naciśnięciu przycisku START.",
    // 3
    "Przycisk służący do otwarcia pliku, który ma zostać wysłany\n"
    "przez RS. Po otwarciu pliku aplikacja zostaje nastawiona\n"
    "na wysyłanie. Transmisja zostaje rozpoczęta po naciśnięciu\n"
    "przycisku START.",
    // 4
    "Jeśli przycisk jest wciśnięty, aplikacja czeka na otrzymanie \n"
    "pliku, który jest następnie porównywany ze względu na \n"
    "długość i zawartość z aktualnie otwartym plikiem.",
    // 5
    "Wyświetlenie zawartości otwartego pliku w formie heksadecymalnej.",
    // 6
    "Wyświetlenie zawartości otwartego pliku jako tekstu.",
    // 7
    "Źródło ostatniego błędu i jego kod.",
    // 8
    "Błędy, które wystąpiły podczas aktualnej transmisji\n"
    "i czas ich wystąpienia (godzina:minuta:sekunda).",
    // 9
    "Liczba sekund, po których od otrzymania komendy\n"
    "zostaną wysłane odpowiednie dane w trybie nasłuchu.",
    // 10
    "Po naciśnięciu START transmisja zostaje rozpoczęta.\n"
    "Po naciśnięciu STOP transmisja zostaje przerwana.\n",
    // 11
    "Pasek postępu wysyłania pliku.",
    // 12
    "Liczba bajtów do wysłania lub liczba bajtów odebranych z RS.",
    // 13
    "Aplikacja wysyła plik o nazwie podanej po komendzie.",
    // 14
    "Aplikacja zmienia katalog na podany po komendzie i odsyła\n"
    "plik zawierający informację, czy zmiana się udała.",
    // 15
    "Aplikacja zmienia katalog na podany po komendzie,\n"
    "a następnie wysyła jego zawartość. Jeśli nazwa nie została \n"
    "podana lub jest błędna, odsyłana zostaje zawartość \n"
    "bieżącego katalogu.",
    // 16
    "Określa, czy po otrzymaniu komendy zmień katalog\n"
    "aplikacja ma wysyłać informacje, czy katalog został\n"
    "zmieniony",
};
constexpr int kHelpTextCount = static_cast<int>(sizeof kHelpTexts / sizeof kHelpTexts[0]);

struct HelpRow {
  int control;
  HelpEntry entry;
};

const HelpRow kMainWindowHelp[] = {
    {ListenButton, {1, "Nasłuch"}},
    {ReceiveFileButton, {2, "Odbierz plik"}},
    {SendFileButton, {3, "Wyślij plik"}},
    {VerifyButton, {4, "Weryfikacja"}},
    {ViewHexButton, {5, "Zawartość(hexa)"}},
    {ViewTextButton, {6, "Zawartość(text)"}},
    {LastErrorSourceField, {7, "Ostatni błąd"}},
    {LastErrorCodeField, {7, "Ostatni błąd"}},
    {ErrorsBox, {8, "Okno błędów"}},
    {DelayField, {9, "Czas do następnego"}},
    {StartStopButton, {10, "Start/stop"}},
    {ProgressBar, {11, "Pasek postępu"}},
    {CountField, {12, "Liczba znaków"}},
};

// The settings dialog's command-name edits and its confirmation check box.
const HelpRow kSettingsDialogHelp[] = {
    {1156, {13, "Komenda - wyślij plik"}},
    {1057, {14, "Komenda - zmień katalog"}},
    {1058, {15, "Komenda - wyślij zawartość katalogu"}},
    {1164, {16, "Zmień katalog - potwierdzenie"}},
};

template <size_t N>
const HelpEntry* Find(const HelpRow (&table)[N], int control) {
  for (const HelpRow& row : table) {
    if (row.control == control) return &row.entry;
  }
  return nullptr;
}

}  // namespace

const char* HelpText(int id) {
  if (id < 1 || id > kHelpTextCount) return nullptr;
  return kHelpTexts[id - 1];
}

const HelpEntry* FindMainWindowHelp(int control) {
  return Find(kMainWindowHelp, control);
}

const HelpEntry* FindSettingsDialogHelp(int control) {
  return Find(kSettingsDialogHelp, control);
}
