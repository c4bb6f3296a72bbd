#!/usr/bin/env bash
# Writes the fuzz targets' seed corpora (tests/fuzz/corpus/<target>/): settings files saved by the
# program itself through the headless driver, in both languages and with listen command names;
# command files; a text and a binary file for the viewer. The files are kept in the tree, so this
# is only run again when a target's input layout changes. Needs the default build.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C  # lengths in bytes

cmake --build --preset default --target tazo-headless >/dev/null
out=tests/fuzz/corpus
rm -rf "$out"
mkdir -p "$out/fuzz_settings" "$out/fuzz_command_file" "$out/fuzz_viewer"

# A settings file as Apply saves it after the dialog lines given (UTF-8, as typed by a user).
# "again": in a start directory that has a settings file already, so that the working directory
# is saved too (a first start saves it empty).
settings_seed() {
  local name=$1 start
  shift
  start=$(mktemp -d /tmp/tazo-fuzz-seed-XXXXXX)
  if [ "$1" = again ]; then
    shift
    build/default/tazo-headless "$start" </dev/null >/dev/null
  fi
  printf '%s\n' "settings open" "$@" "settings apply" |
    build/default/tazo-headless --utf8 "$start" >"$start.out" ||
    { cat "$start.out" >&2; exit 1; }
  grep -q '^settings applied$' "$start.out" || { cat "$start.out" >&2; exit 1; }
  cp "$start/tazo.ini" "$out/fuzz_settings/$name"
  rm -rf "$start" "$start.out"
}

settings_seed english.ini again "settings set language English" "settings set confirm on" \
  "settings type sendfile SENDFILE" "settings type changedir CHDIR" "settings type senddir DIR"
settings_seed polish.ini "settings set language Polski" "settings set port COM2" \
  "settings set baud 19200" "settings set parity #3" "settings set bytelength 7" \
  "settings set stopbits 2" "settings set dtr #1" "settings set rts #2" "settings set cts on" \
  "settings set dsr on" "settings set xonxoff on" "settings type sendfile WYŚLIJ" \
  "settings type changedir ZMIEŃ" "settings type senddir KATALOG"

# The same files with edits of the dialog after them, as the target reads them: a kind byte
# (0 type in a list, 1 select an entry, 2 a check box, 3 a command name), a control byte and a
# length byte, then the text.
{
  cat "$out/fuzz_settings/english.ini"
  printf '\x00\x01\x0519200'    # type 19200 as the rate
  printf '\x01\x07\x01\x00'     # select Polski
  printf '\x02\x03\x01\x01'     # XON/XOFF on
  printf '\x03\x00\x04PLIK'     # a new name to send a file
} >"$out/fuzz_settings/english-edited"
{
  cat "$out/fuzz_settings/polish.ini"
  printf '\x03\x01\x03wy\x9c'   # a name that begins another one, folded: refused
  printf '\x00\x00\x05COM12'    # a port name past its field
  printf '\x01\x07\x02\x00\x00' # select English
} >"$out/fuzz_settings/polish-edited"

# Command files: a mode byte (bit 0: a change of directory succeeds, bit 7: the argument
# collection alone), the lengths of the three names, the names, then the block from the line.
command_seed() {
  local name=$1 mode=$2 block=$3 send dir cd
  send=$(printf "$4")
  dir=$(printf "$5")
  cd=$(printf "$6")
  {
    printf "\\x$mode\\x$(printf %02x ${#send})\\x$(printf %02x ${#dir})\\x$(printf %02x ${#cd})"
    printf '%s%s%s' "$send" "$dir" "$cd"
    printf "$block"
  } >"$out/fuzz_command_file/$name"
}
command_seed send-file 00 '%%MPF999\r\nSENDFILE O0001.nc\r\n\x03' SENDFILE DIR CHDIR
command_seed send-directory 00 '%%MPF999\r\nDIR programs\r\n\x03' SENDFILE DIR CHDIR
command_seed change-directory 01 '%%MPF999\r\nCHDIR ..\\\\programs\r\n\x03' SENDFILE DIR CHDIR
command_seed polish-names 01 '%%MPF998 \nzmie\xf1 katalog\n\x03' 'WY\x8cLIJ' KATALOG 'ZMIE\xd1'
command_seed argument-alone 84 'C:\\\\programy\\\\O0002.nc\r\n' SENDFILE DIR CHDIR

# The viewer: width and height (16 bits each, low byte first), a count of steps of 4 bytes
# (scroll down, scroll right, a key, a resize; 5 in the first byte shrinks the file), the file.
{
  printf '\x80\x02\xe0\x01\x04'
  printf '\x00\x03\x00\x00\x01\x03\x00\x00\x02\x04\x00\x00\x04\x00\x40\x00'
  printf '%%\r\nO0001 (FLANSZA \xa3\xb9CZNIKA)\r\nG21 G90 G94\r\nT1 M06\r\n'
  printf 'G00 X0. Y0. Z5. S1200 M03\r\nG01 Z-2. F100\r\nX120. Y40.\r\n'
  printf 'G02 X140. Y60. I20. J0.\r\n\tG03 X120. Y80. R20.\r\n'
  printf '(a comment long enough to need the horizontal scroll bar, as a real program has)\r\n'
  printf 'G00 Z50.\r\nM30\r\n%%\r\n'
} >"$out/fuzz_viewer/part-program.nc"
{
  printf '\x40\x01\xc8\x00\x02'
  printf '\x03\x00\x00\x01\x00\x02\x08\x00'
  for byte in $(seq 0 255); do printf "\\x$(printf %02x "$byte")"; done
  printf '\x03\x00\x00\r\n\r\n\x00\x00'
} >"$out/fuzz_viewer/binary.bin"

ls -l "$out"/*
