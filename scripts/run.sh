#!/usr/bin/env bash
# Shows the program at work: installs what is missing, builds, makes a start directory with a few
# part programs and a tazo.ini, starts tazo-machine there on a pseudo-terminal linked as COM1 and
# opens the program in that directory (the window where it is built and a display is there, the
# headless driver otherwise, or with --headless).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

headless=0
case "${1:-}" in
  --headless) headless=1 ;;
  "") ;;
  *) echo "usage: bash scripts/run.sh [--headless]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh
cmake --preset default >/dev/null
targets=(tazo-machine tazo-headless)
if ninja -C build/default -t targets all 2>/dev/null | grep -q '^tazo: '; then targets+=(tazo); fi
cmake --build --preset default -j2 --target "${targets[@]}"
if [ ! -x build/default/tazo ] || [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then headless=1; fi

# A fresh start directory for the program and a memory of the machine's own programs.
run=$root/build/run
start=$run/start
rm -rf "$run"
mkdir -p "$start/programs" "$run/machine"

# part PATH LINE...: a part program, its lines ended with CR LF as a controller expects.
part() {
  local path=$1
  shift
  printf '%s\r\n' "$@" >"$path"
}
part "$start/bracket.nc" "%" "O1001 (BRACKET)" "G21 G90 G40" "T1 M06" "G00 X0. Y0. S1200 M03" \
  "G43 Z5. H01" "G01 Z-2. F100." "X40." "Y25." "X0." "Y0." "G00 Z50." "M30" "%"
part "$start/flange.nc" "%" "O1002 (FLANGE)" "G21 G90" "G00 X30. Y0. S800 M03" "G01 Z-1. F80." \
  "G02 X30. Y0. I-30. J0." "G00 Z50." "M30" "%"
part "$start/programs/drill.nc" "%" "O1003 (DRILL 4 HOLES)" "G21 G90" "G81 X10. Y10. Z-5. R2. F60." \
  "X30." "Y30." "X10." "G80" "M30" "%"
part "$run/machine/O2001.nc" "%" "O2001 (FROM THE MACHINE)" "G21 G90" "G00 X5. Y5." \
  "G01 Z-0.5 F50." "X55." "G00 Z20." "M30" "%"

# tazo.ini: 347 bytes: port 5, baud 7, 12 option bytes, working directory 260, three names of 21.
field() {
  local length
  length=$(printf '%s' "$1" | LC_ALL=C wc -c)
  if [ "$length" -ge "$2" ]; then
    echo "run.sh: \"$1\" does not fit in $2 bytes" >&2
    exit 1
  fi
  printf '%s' "$1"
  head -c $(($2 - length)) /dev/zero
}
{
  field COM1 5
  field 9600 7
  # no parity, 8 data bits, 1 stop bit, no flow control, English, reply delay 3 s, confirm cd
  printf '\x02\x04\x00\x00\x00\x00\x00\x00\x00\x01\x03\x01'
  field "$start" 260
  field SENDFILE 21
  field CHDIR 21
  field DIR 21
} >"$start/tazo.ini"
[ "$(stat -c %s "$start/tazo.ini")" -eq 347 ] || { echo "run.sh: tazo.ini is not 347 bytes" >&2; exit 1; }
# The help file that the Help button shows.
cp resources/pomoc.txt "$start/pomoc.txt"

machine=(build/default/tazo-machine --start "$start" --memory "$run/machine")
pids=()
cleanup() {
  trap - EXIT INT TERM
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cat <<TEXT

Start directory $start
  bracket.nc, flange.nc, programs/drill.nc, tazo.ini (COM1 9600 8N1, English, reply delay 3 s,
  listen commands SENDFILE, CHDIR and DIR); the machine's memory holds O2001.nc.
TEXT

if [ "$headless" -eq 0 ]; then
  cat <<'TEXT'
The window is the program; this terminal is the machine's console (help lists its commands):
  send O2001.nc       after choosing a file to receive into and pressing Start in the window
  ask dir             after switching listening on; then: ask cd programs, ask file drill.nc
Closing the window ends the machine; quit in the console ends both.

TEXT
  (cd "$start" && exec "$root/build/default/tazo") &
  pids+=($!)
  "${machine[@]}" --end-with "${pids[0]}" || true
  exit 0
fi

cat <<'TEXT'
One terminal serves both: a line starting with "m " goes to the machine, any other line to the
program (the headless driver; README "Headless driver" lists its actions). For example:
  dialog bracket.nc                  then: press SendFileButton, press StartStopButton
  dialog back.nc                     then: press ReceiveFileButton, press StartStopButton,
                                     and:  m send O2001.nc
  dialog bracket.nc                  then: press SendFileButton, press VerifyButton,
                                     and:  m send received/1
  press ListenButton                 then: m ask dir, m ask cd programs, m ask file drill.nc
  print ErrorsBox, print all, m ls, m show fetched/drill.nc, m help
The program ends with "close" (and "answer yes" before it) or Ctrl-D; the machine goes with it.
A line the driver cannot carry out ends it too: it is started again in the same directory.

TEXT
fifo_machine=$run/machine.in
fifo_program=$run/program.in
mkfifo "$fifo_machine" "$fifo_program"
"${machine[@]}" <"$fifo_machine" > >(sed -u 's/^/  machine| /') 2>&1 &
pids+=($!)
exec 3>"$fifo_machine"
trap '' PIPE

start_program() {
  build/default/tazo-headless --utf8 "$start" <"$fifo_program" &
  program=$!
  pids+=("$program")
  exec 4>"$fifo_program"
}
start_program
while :; do
  if ! kill -0 "$program" 2>/dev/null; then
    status=0
    wait "$program" || status=$?
    exec 4>&-
    [ "$status" -eq 1 ] || break
    echo "(the program ended at that line; it starts again)"
    start_program
  fi
  if IFS= read -r -t 1 line; then
    case "$line" in
      "m "* | "machine "*) printf '%s\n' "${line#* }" >&3 || break ;;
      *) printf '%s\n' "$line" >&4 || true ;;
    esac
  elif [ $? -le 128 ]; then
    exec 4>&-  # end of input: the driver closes the window
    wait "$program" || true
    break
  fi
done
