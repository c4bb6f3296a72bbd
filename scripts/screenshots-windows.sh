#!/usr/bin/env bash
# Pictures of the main window, the settings dialog and the viewer, in Polish and in English, and of
# the installer's finish page, as Wine draws them on Xvfb: docs/screenshots/windows-*.png. Run by hand; not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows >/dev/null
cmake --build --preset windows
build=$PWD/build/windows
shots=$build/screenshots
rm -rf "$shots"
mkdir -p "$shots" docs/screenshots

display=:57
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
export WINEPREFIX=$build/wine-screenshots WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ ! -d "$WINEPREFIX" ]; then
  wineboot -i >/dev/null 2>&1
fi
# Without a window manager every close would wait for one.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# No port may lead to the console, even if nothing here opens one.
rm -f "$WINEPREFIX"/dosdevices/com*

winpath() { echo "Z:${1//\//\\}"; }
for language in pl en; do
  directory=$shots/$language
  mkdir -p "$directory"
  cp resources/pomoc.txt "$directory/"
  # A settings file with the language byte (offset 21) set; everything else zero gives the defaults.
  python3 - "$directory/tazo.ini" "$language" <<'PY'
import sys
image = bytearray(347)
image[0:4] = b"COM1"
image[5:9] = b"9600"
image[12] = 2
image[13] = 4
image[21] = 1 if sys.argv[2] == "en" else 0
open(sys.argv[1], "wb").write(image)
PY
  wine "$build/tazo_win_driver.exe" screenshots "$(winpath "$build/tazo.exe")" \
    "$(winpath "$directory")" "$language"
  for picture in "$directory"/windows-*.bmp; do
    convert "$picture" "docs/screenshots/$(basename "${picture%.bmp}").png"
  done
done
# The installer's finish page, in Polish (the language of a Polish system).
bash scripts/release-windows.sh "$shots/packages" >/dev/null
setup=$(ls "$shots"/packages/tazo-*-setup.exe)
LC_ALL=pl_PL.UTF-8 wine "$build/tazo_win_driver.exe" installer-screenshot "$(winpath "$setup")" \
  "$(winpath "$shots")" pl
convert "$shots/windows-installer-pl.bmp" docs/screenshots/windows-installer-pl.png
ls -l docs/screenshots/windows-*.png
