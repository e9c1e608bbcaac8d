#!/usr/bin/env bash
# Builds the window program and grabs its main window, connected to the simulated KM detector
# and after reading it, in English and in Japanese, under the offscreen platform:
#   shots/main_en.png, shots/main_ja.png
# When the window test program is built as well, the opening form and the password dialog are
# grabbed too (shots/open_*.png, shots/password_*.png).
#
# Environment: BUILD_DIR (default build-shots), SHOTS_DIR (default shots).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-shots}
OUT=${SHOTS_DIR:-$ROOT/shots}

if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKM71_BUILD_BENCH=OFF \
        >/dev/null
fi
targets=(km71setup)
grep -q '^KM71_BUILD_TESTS:BOOL=ON' "$BUILD/CMakeCache.txt" && targets+=(test_ui)
cmake --build "$BUILD" --target "${targets[@]}" -j2

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

export QT_QPA_PLATFORM=offscreen
status=0
for lang in EN JP; do
    name=$(echo "$lang" | tr 'A-Z' 'a-z')
    [[ $name == jp ]] && name=ja
    # Each run gets a fresh folder: its tool configuration, link log and so on stay there.
    mkdir -p "$WORK/$name"
    if ! "$BUILD/app/km71setup" --sim KM --no-splash --password 7305 --lang "$lang" \
        --folder "$WORK/$name" --screenshot "$OUT/main_$name.png"; then
        echo "screenshots: the $lang run did not connect and read the detector" >&2
        status=1
    fi
done

if [[ -x "$BUILD/tests/test_ui" ]]; then
    KM71_SHOTS_DIR="$OUT" "$BUILD/tests/test_ui" \
        --gtest_filter='StartupTest.OpeningFormLaysItsPartsOutWithoutOverlapAndClosesAfterItsTime:StartupTest.JapanesePasswordDialogAndQuestion:StartupTest.PasswordDialogRefuses*' \
        >/dev/null || status=1
fi

ls -1 "$OUT"/*.png
exit $status
