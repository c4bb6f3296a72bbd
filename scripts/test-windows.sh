#!/usr/bin/env bash
# Builds the Windows program (build/windows/tazo.exe) and its driver, checks that tazo.exe is one
# file that needs only the system's DLLs, and runs the Windows scenarios under Wine: a prefix of
# this build's own made once per run, Wine's null graphics driver (no display needed), and COM1
# (COM12 for the serial scenario) pointed at a pseudo-terminal of the test's own before anything
# opens it.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

cmake --preset windows >/dev/null
cmake --build --preset windows

build=$PWD/build/windows
run=$build/run
rm -rf "$run"
mkdir -p "$run"

echo "=== tazo.exe imports ==="
imports=$(x86_64-w64-mingw32-objdump -p "$build/tazo.exe" | sed -n 's/^\s*DLL Name: //p')
echo "$imports"
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll | user32.dll | gdi32.dll | comdlg32.dll | comctl32.dll | msvcrt.dll) ;;
    *) echo "tazo.exe imports $dll, which Windows does not provide" >&2; exit 1 ;;
  esac
done

# The slave of the test's pseudo-terminal gets modem lines from this shim.
gcc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$build/pty_modem_shim.so" tests/support/pty_modem_shim.c -ldl

source scripts/wine-prefix.sh
echo "=== Wine prefix ==="
new_wine_prefix "$build/wine-prefix"
peer_pid=
cleanup() {
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

winpath() { echo "Z:${1//\//\\}"; }
exe=$(winpath "$build/tazo.exe")
failed=0
# TAZO_WINE_SCENARIOS picks some of the scenarios (all by default).
only=${TAZO_WINE_SCENARIOS:-start settings viewer serial}
scenario() {
  local name=$1 directory=$2
  shift 2
  [[ " $only " == *" $name "* ]] || return 0
  mkdir -p "$directory"
  echo "=== $name ==="
  if ! wine "$build/tazo_win_driver.exe" "$name" "$exe" "$(winpath "$directory")" "$@" \
      >"$run/$name.log" 2>"$run/$name.err"; then
    grep -v '^ok' "$run/$name.log" || true
    tail -5 "$run/$name.err"
    failed=1
  fi
  tail -1 "$run/$name.log"
}

# No port may lead anywhere but to the test's pseudo-terminal.
peer_dir=$run/serial-peer
mkdir -p "$peer_dir"
python3 tests/win32/serial_peer.py "$peer_dir" &
peer_pid=$!
for _ in $(seq 200); do [ -f "$peer_dir/pty-name" ] && break; sleep 0.05; done
pty=$(cat "$peer_dir/pty-name")
# The key names the pseudo-terminal, and the link is set by hand as well once the services run.
register_ports "$pty" COM1 COM12
point_port com1 "$pty"
wine reg query 'HKLM\Software\Wine\Ports' >/dev/null 2>&1
if ! port_is_ours com1 "$pty"; then
  echo "COM1 does not lead to the test's pseudo-terminal; nothing runs" >&2
  ls -l "$WINEPREFIX"/dosdevices/ >&2
  exit 1
fi
echo "COM1 -> $pty"

scenario start "$run/start"
scenario settings "$run/settings"
cp resources/pomoc.txt "$run/viewer/" 2>/dev/null || { mkdir -p "$run/viewer"; cp resources/pomoc.txt "$run/viewer/"; }
scenario viewer "$run/viewer"
# The serial scenario's port is COM12, which Windows opens only by its device name; COM1 leads
# nowhere then, so a program that opened COM1 instead would fail.
port_is_ours com1 "$pty" || { echo "COM1 no longer leads to the test's pseudo-terminal" >&2; exit 1; }
point_port com12 "$pty"
port_is_ours com12 "$pty" || { echo "COM12 does not lead to the test's pseudo-terminal" >&2; exit 1; }
echo "COM12 -> $pty"
LD_PRELOAD=$build/pty_modem_shim.so scenario serial "$run/serial" "$(winpath "$peer_dir")"
port_is_ours com12 "$pty" || { echo "COM12 no longer leads to the test's pseudo-terminal" >&2; exit 1; }

echo "Windows tests took $(( $(date +%s) - started )) s"
exit $failed
