#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demonstration need (as root).
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev clang-format git
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 wine wine64 python3 xvfb xauth
  imagemagick nsis zip dpkg-dev file lintian desktop-file-utils)
missing=()
for package in "${packages[@]}"; do
  # Installed means installed, not merely known (a removed package keeps its record).
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
