#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default -DKM71_BUILD_TESTS=OFF -DKM71_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default
exec build/app/km71setup "$@"
