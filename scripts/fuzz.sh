#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh            every target for 10 s (CI)
#   scripts/fuzz.sh 600        every target for 10 minutes
#   scripts/fuzz.sh 600 fuzz_link_receive    one target
# The mutation order comes from FUZZ_SEED (default 1), so that a short gating run explores the
# same inputs each time; FUZZ_SEED=0 lets libFuzzer pick a fresh seed for exploratory runs.
# An input that fails is kept as fuzz-artifacts/<target>-crash-*; add it to the target's corpus
# once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
only="${2:-}"
seed="${FUZZ_SEED:-1}"
scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKM71_BUILD_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2
status=0
for target in build-fuzz/tests/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    [ -n "$only" ] && [ "$name" != "$only" ] && continue
    work=$(mktemp -d)
    if [ -d "tests/fuzz/corpus/$name" ]; then cp -r "tests/fuzz/corpus/$name/." "$work/"; fi
    seeds=$(find "$work" -type f | wc -l)
    echo "== $name: $seeds seed inputs, ${seconds}s"
    mkdir -p fuzz-artifacts
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -seed="$seed" -artifact_prefix="fuzz-artifacts/$name-" \
        -print_final_stats=1 "$work" >"$work.log" 2>&1; then
        status=1
        tail -n 40 "$work.log"
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$work.log" || true
    echo "   corpus after run: $(find "$work" -type f | wc -l) inputs"
    rm -rf "$work" "$work.log"
done
exit $status
