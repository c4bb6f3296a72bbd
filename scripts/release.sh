#!/usr/bin/env bash
# Builds the release into build/release/: the Debian package of the Linux programs, the Windows
# portable zip and installer, and SHA256SUMS over them. Needs what scripts/install-deps.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/release
rm -rf "$out"
mkdir -p "$out"

# ---- Linux: the Debian package (tazo_VERSION_ARCH.deb) ----
echo "=== Debian package ==="
build=build/package
# Debian's own compiler and linker flags, hardening included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAZO_TESTS=OFF -DTAZO_BENCH=OFF \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build"
rm -rf "$build/cpack"
cpack --config "$build/CPackConfig.cmake" -B "$build/cpack"
cp "$build"/cpack/tazo_*.deb "$out/"

# ---- Windows: the portable zip and the installer, made by their own script ----
bash scripts/release-windows.sh "$out"

# ---- Checksums of everything above ----
(
  cd "$out"
  files=()
  for file in *; do [ "$file" = SHA256SUMS ] || files+=("$file"); done
  sha256sum -- "${files[@]}" >SHA256SUMS
)
echo "=== $out ==="
ls -l "$out"
