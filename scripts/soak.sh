#!/usr/bin/env bash
# Long soak of the link: read and write cycles against the simulated detectors (KM, QZ, VL) on
# virtual time with random faults (dropped, delayed, split and corrupted replies, wrong echoes,
# the line going dead and coming back). Stops by itself; prints cycles, faults injected,
# failures reported, settings lost and the resident memory at the start and the end.
#   scripts/soak.sh            5000 cycles per model
#   scripts/soak.sh 20000      20000 cycles per model
# The short variant (400 cycles per model) runs in ctest as part of the "reliability" test.
set -euo pipefail
cd "$(dirname "$0")/.."
cycles="${1:-5000}"
build=build-reliab
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKM71_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target test_reliability
KM71_SOAK_CYCLES="$cycles" QT_QPA_PLATFORM=offscreen \
    "$build/tests/test_reliability" --gtest_filter='Models/Soak.*'
