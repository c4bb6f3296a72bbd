#!/usr/bin/env bash
# The package checks: builds the release (scripts/release.sh), checks the Debian package with
# lintian and desktop-file-validate, then, as root on a machine of the tests' own, installs it
# with dpkg -i, starts the installed program on the offscreen platform from a terminal's folder
# and through the menu entry, and purges it, which must leave no file of the package behind.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/release.sh
debs=(build/release/tazo_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single .deb in build/release" >&2; exit 1; }
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
(cd build/release && sha256sum --quiet -c SHA256SUMS)

echo "=== lintian $deb ==="
# Any warning or error fails; the package's overrides are shown with their reasons.
lintian_output=$(lintian --fail-on none --show-overrides "$deb")
echo "$lintian_output"
! grep -q '^[EW]:' <<<"$lintian_output" || { echo "lintian: warnings or errors" >&2; exit 1; }

work=$(mktemp -d /tmp/tazo-packages-XXXXXX)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then dpkg --purge tazo >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "=== desktop entry ==="
dpkg-deb -x "$deb" "$work/contents"
desktop=$work/contents/usr/share/applications/tazo.desktop
desktop-file-validate "$desktop"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$work/contents$exec_line" ] || { echo "Exec=$exec_line is not in the package" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
  echo "=== not root: the package is not installed (dpkg -i needs root; the tests' machine runs as root) ==="
  exit 0
fi
if [ "$(dpkg-query -W -f='${Status}' tazo 2>/dev/null || true)" != "" ] &&
  ! dpkg-query -W -f='${Status}' tazo | grep -q not-installed; then
  echo "tazo is installed on this machine already: this check installs and purges it" >&2
  exit 1
fi

echo "=== dpkg -i ==="
installed=1
dpkg -i "$deb"
dpkg -L tazo >"$work/files"
for program in tazo-headless tazo-machine tazo-service; do
  said=$("/usr/bin/$program" --version)
  [ "$said" = "$program $version" ] || { echo "$program --version says \"$said\"" >&2; exit 1; }
done

# run_until_window NAME DIRECTORY HOME COMMAND...: starts the command on the offscreen platform in
# DIRECTORY, waits until /usr/bin/tazo runs and has taken the termination signals (which it does
# right after showing its main window: its handler is in place), ends it with SIGTERM and expects
# a normal close.
run_until_window() {
  local name=$1 directory=$2 home=$3 pid status deadline
  shift 3
  (cd "$directory" && HOME=$home QT_QPA_PLATFORM=offscreen exec "$@") >"$work/$name.log" 2>&1 &
  pid=$!
  deadline=$((SECONDS + 60))
  # SIGTERM is bit 15 of the set of caught signals.
  until [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = /usr/bin/tazo ] &&
    [ $((0x$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status" 2>/dev/null || echo 0) & 0x4000)) -ne 0 ]; do
    if ! kill -0 "$pid" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
      echo "$name: the program did not open its window" >&2
      cat "$work/$name.log" >&2
      kill "$pid" 2>/dev/null || true
      return 1
    fi
    sleep 0.1
  done
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  if [ "$status" -ne 1 ]; then
    echo "$name: status $status after SIGTERM, not a normal close (1)" >&2
    cat "$work/$name.log" >&2
    return 1
  fi
}

echo "=== the program started from a terminal keeps its current directory ==="
mkdir -p "$work/terminal" "$work/home-terminal"
run_until_window terminal "$work/terminal" "$work/home-terminal" /usr/bin/tazo
[ "$(stat -c %s "$work/terminal/tazo.ini")" -eq 347 ] || { echo "no tazo.ini in the terminal's folder" >&2; exit 1; }
# (The toolkit may keep caches under the home folder: only the program's own files are looked for.)
for name in tazo tazo.ini log.txt; do
  [ ! -e "$work/home-terminal/$name" ] || { echo "the home folder got $name" >&2; exit 1; }
done

echo "=== the menu entry starts it in ~/tazo with the help file ==="
mkdir -p "$work/home"
run_until_window menu / "$work/home" "$exec_line"
[ "$(stat -c %s "$work/home/tazo/tazo.ini")" -eq 347 ] || { echo "no tazo.ini in ~/tazo" >&2; exit 1; }
cmp /usr/share/tazo/pomoc.txt "$work/home/tazo/pomoc.txt"
for name in tazo.ini log.txt pomoc.txt; do
  [ ! -e "$work/home/$name" ] || { echo "the home folder itself got $name" >&2; exit 1; }
done
# A second start keeps the user's own help file.
printf 'mine\r\n' >"$work/home/tazo/pomoc.txt"
run_until_window menu-again / "$work/home" "$exec_line"
[ "$(cat "$work/home/tazo/pomoc.txt")" = $'mine\r' ] || { echo "the user's help file was replaced" >&2; exit 1; }

echo "=== dpkg --purge ==="
dpkg --purge tazo
installed=0
# Every file of the package is gone; a directory may stay only when another package owns it or
# something else lives in it.
left=0
while IFS= read -r path; do
  [ "$path" = /. ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    if [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
      echo "left behind: the empty directory $path" >&2
      left=1
    fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done <"$work/files"
[ "$left" -eq 0 ]
echo "=== package checks passed ==="
