#!/usr/bin/env bash
# Installs what is missing, builds the program and runs the demonstration over a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tazo-demo
exec build/default/tazo-demo "$@"
