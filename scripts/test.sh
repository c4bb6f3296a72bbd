#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds and runs every test: the plain build, the
# AddressSanitizer/UndefinedBehaviorSanitizer build, the ThreadSanitizer build, and a run of each
# fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

fuzz_seconds=${FUZZ_SECONDS:-60}

echo "=== formatting ==="
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

for preset in default asan tsan; do
  echo "=== $preset build ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "=== fuzz targets (${fuzz_seconds} s each) ==="
cmake --preset fuzz
cmake --build --preset fuzz
# Each target starts from its seed corpus in the tree (read only: what it finds goes to the working
# corpus under build/, and so does a crash's input).
for target in build/fuzz/tests/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="$PWD/tests/fuzz/corpus/$name"
  [ -d "$seeds" ] || { echo "$name has no seed corpus in tests/fuzz/corpus" >&2; exit 1; }
  corpus="$PWD/build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
    -artifact_prefix="$PWD/build/fuzz/$name-" "$corpus" "$seeds" 2>"$corpus.log" \
    || { tail -50 "$corpus.log"; exit 1; }
  # The coverage at the start and at the end, and the executions.
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$corpus.log" | sed "s|^|$name: |"
  grep -E 'stat::number_of_executed_units' "$corpus.log" | sed "s|^|$name: |"
done

bash scripts/test-windows.sh
bash scripts/test-installer.sh

# The release and its packages: built, checked, installed and removed again.
bash scripts/test-packages.sh
