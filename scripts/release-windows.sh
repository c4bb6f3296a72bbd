#!/usr/bin/env bash
# Builds the Windows program and packs it into OUTDIR: tazo-VERSION-windows-x86_64.zip (tazo.exe,
# the help file pomoc.txt, README.txt in both languages) and tazo-VERSION-setup.exe (NSIS).
# The version is the project version of the build.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/release-windows.sh OUTDIR" >&2; exit 2; }
cd "$(dirname "$0")/.."
mkdir -p "$1"
out=$(cd "$1" && pwd)

cmake --preset windows >/dev/null
cmake --build --preset windows --target tazo
build=$PWD/build/windows
version=$(sed -n 's/^#define TAZO_VERSION "\(.*\)"$/\1/p' "$build/generated/tazo_version.h")
[ -n "$version" ] || { echo "no version in $build/generated/tazo_version.h" >&2; exit 1; }

# What both packages hold, as Windows has it: the read-me in UTF-8 with a byte-order mark (Notepad
# shows it right whatever the system's code page) and CR LF; the help file as the program reads it.
stage=$build/package
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/tazo.exe" resources/pomoc.txt "$stage/"
{
  printf '\xef\xbb\xbf'
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' packaging/windows/README.txt
} >"$stage/README.txt"
# The same time on every file, so that the zip changes only when its contents do.
touch -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)" "$stage"/*

zip_name=tazo-$version-windows-x86_64.zip
rm -f "$out/$zip_name"
(cd "$stage" && zip -q -X -9 "$out/$zip_name" tazo.exe pomoc.txt README.txt)

makensis -V2 -WX -INPUTCHARSET UTF8 -DVERSION="$version" -DPROGRAM="$stage" \
  -DICON="$PWD/resources/viewer_122.ico" -DOUTFILE="$out/tazo-$version-setup.exe" \
  packaging/windows/tazo.nsi
ls -l "$out/$zip_name" "$out/tazo-$version-setup.exe"
