#!/usr/bin/env bash
# Runs clang-tidy over the sources. clang takes no Windows-1250 execution charset, so it reads the
# compile commands of the clang (fuzz) build, which has none.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
git ls-files 'src/*.cpp' | xargs -P2 -n4 clang-tidy -p build/fuzz --quiet "$@"
