#!/usr/bin/env bash
# Builds the Windows packages (scripts/release-windows.sh) and tests them: the zip's contents, and
# under Wine, in a prefix of its own whose COM ports all lead to a pseudo-terminal of the test's
# own, a silent install, the shortcut and its working folder, the installed program started from
# there, and a silent uninstall that leaves nothing of the program and the user's folder intact.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

build=$PWD/build/windows
packages=$build/installer-test
rm -rf "$packages"
bash scripts/release-windows.sh "$packages" >/dev/null
cmake --build --preset windows --target tazo_win_driver >/dev/null
version=$(sed -n 's/^#define TAZO_VERSION "\(.*\)"$/\1/p' "$build/generated/tazo_version.h")
zip=$packages/tazo-$version-windows-x86_64.zip
setup=$packages/tazo-$version-setup.exe

failed=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok $what"; else echo "FAILED $what"; failed=1; fi
}

echo "=== zip ==="
zip_member() { python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' "$zip" "$1"; }
check "the zip holds tazo.exe, pomoc.txt and README.txt" test "$(python3 -c 'import sys, zipfile
print(*sorted(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")" = "README.txt pomoc.txt tazo.exe"
check "its tazo.exe is the build's" cmp -s <(zip_member tazo.exe) "$build/tazo.exe"
check "its pomoc.txt is the tree's" cmp -s <(zip_member pomoc.txt) resources/pomoc.txt
check "its README.txt names the version" \
  grep -q $'^\xef\xbb\xbftazo '"$version " <(zip_member README.txt | head -1)
check "its README.txt has CR LF line ends" bash -c "! grep -qv $'\r\$'" < <(zip_member README.txt)

source scripts/wine-prefix.sh
echo "=== Wine prefix ==="
new_wine_prefix "$build/installer-prefix"
pty_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$pty_pid" ] && kill "$pty_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Every port link goes, and COM1 leads to a pseudo-terminal held open by this test.
python3 -c 'import os, pty, signal, sys
master, slave = pty.openpty()
open(sys.argv[1] + ".new", "w").write(os.ttyname(slave))
os.rename(sys.argv[1] + ".new", sys.argv[1])
signal.pause()' "$build/installer-pty" &
pty_pid=$!
rm -f "$build/installer-pty"
for _ in $(seq 200); do [ -f "$build/installer-pty" ] && break; sleep 0.05; done
pty=$(cat "$build/installer-pty")
register_ports "$pty" COM1
point_port com1 "$pty"
port_is_ours com1 "$pty" || { echo "COM1 does not lead to the test's pseudo-terminal; nothing runs" >&2; exit 1; }
echo "COM1 -> $pty"

drive=$WINEPREFIX/drive_c
program_folder="$drive/Program Files/tazo"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/tazo.lnk"
user=$(wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
user_folder="$drive/users/$user/tazo"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tazo'
registry_value() { wine reg query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }

echo "=== install ==="
check "setup.exe /S succeeds" wine "$setup" /S
for file in tazo.exe pomoc.txt README.txt uninstall.exe; do
  check "Program Files holds $file" test -f "$program_folder/$file"
done
check "the Start-menu shortcut" test -f "$shortcut"
check "the user's folder with the help file" cmp -s "$user_folder/pomoc.txt" resources/pomoc.txt
check "the entry's DisplayName" test "$(registry_value DisplayName)" = "tazo $version"
check "the entry's DisplayVersion" test "$(registry_value DisplayVersion)" = "$version"
check "the entry's UninstallString" \
  test "$(registry_value UninstallString)" = '"C:\Program Files\tazo\uninstall.exe"'
check "the entry's InstallLocation" test "$(registry_value InstallLocation)" = 'C:\Program Files\tazo'
check "the entry's Publisher" test -n "$(registry_value Publisher)"
size_kb=$(( $(registry_value EstimatedSize) + 0 ))
check "the entry's EstimatedSize ($size_kb KiB)" \
  test "$size_kb" -ge "$(( $(du -sk "$program_folder" | cut -f1) * 9 / 10 ))"

echo "=== installed program ==="
if wine "$build/tazo_win_driver.exe" installed \
  'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\tazo.lnk' "C:\\users\\$user\\tazo" "$version" \
  >"$build/installer-driver.log" 2>"$build/installer-driver.err"; then
  tail -1 "$build/installer-driver.log"
else
  grep -v '^ok' "$build/installer-driver.log" || true
  tail -5 "$build/installer-driver.err"
  failed=1
fi
check "COM1 still leads to the test's pseudo-terminal" port_is_ours com1 "$pty"

echo "=== uninstall ==="
# The uninstaller copies itself away and returns at once: its end is the program folder gone,
# which it removes last.
wine "$program_folder/uninstall.exe" /S
for _ in $(seq 600); do [ -e "$program_folder" ] || break; sleep 0.1; done
check "the program folder is gone" test ! -e "$program_folder"
check "the shortcut is gone" test ! -e "$shortcut"
check "the entry is gone" bash -c "! wine reg query '$uninstall_key' >/dev/null 2>&1"
check "the per-user set-up is gone" bash -c \
  "! wine reg query 'HKLM\\Software\\Microsoft\\Active Setup\\Installed Components\\tazo' >/dev/null 2>&1"
check "the user's settings stay" test -s "$user_folder/tazo.ini"
check "the user's help file stays" test -s "$user_folder/pomoc.txt"

echo "Installer tests took $(( $(date +%s) - started )) s"
exit $failed
