#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   scripts/test.sh            normal build (build/, the same folder scripts/run.sh uses), then
#                              the Debian package check (tests/package/check_package.sh)
#   scripts/test.sh asan       the same suite under AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
if [ "$preset" = default ]; then
    tests/package/check_package.sh
fi
