#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each, bounded by time or by a run count.
#   scripts/fuzz.sh                      every target for 10 s (CI)
#   scripts/fuzz.sh 600                  every target for 10 minutes
#   scripts/fuzz.sh 600 fuzz_link_receive            one target
#   scripts/fuzz.sh --runs 10000000 [TARGET]         a campaign: every (or one) target to that
#                                                    many runs, then its corpus merged back
#   scripts/fuzz.sh --runs N --within S [TARGET]     the same, each target stopped after S
#                                                    seconds if it has not reached N by then
# FUZZ_NO_BUILD=1 runs what build-fuzz holds without installing or building (several campaigns
# side by side, one target each, after one build). Targets run FUZZ_JOBS at a time (default: as
# many as the machine has cores); each target is one process on one core.
# Each run prints its runs, runs a second and coverage. The mutation order comes from FUZZ_SEED
# (default 1), so that a short gating run explores the same inputs each time; FUZZ_SEED=0 lets
# libFuzzer pick a fresh seed. A campaign (--runs) keeps what it found: the grown corpus is
# merged (-merge=1, only inputs that add coverage) into tests/fuzz/corpus/<target>. An input
# that fails is kept as fuzz-artifacts/<target>-crash-*; add it to the target's corpus once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=""
within=""
if [ "${1:-}" = "--runs" ]; then
    runs="${2:?--runs needs a count}"
    shift 2
    seconds=0
    if [ "${1:-}" = "--within" ]; then
        within="${2:?--within needs seconds}"
        shift 2
    fi
else
    seconds="${1:-10}"
    shift || true
fi
only="${1:-}"
seed="${FUZZ_SEED:-1}"
if [ -z "${FUZZ_NO_BUILD:-}" ]; then
    scripts/install-deps.sh
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKM71_BUILD_FUZZ=ON >/dev/null
    cmake --build build-fuzz -j2
fi
# AddressSanitizer keeps freed memory aside to catch a use after free; 32 MB (instead of 256)
# still holds far more than one run frees, and keeps a target at about 150 MB instead of
# growing to 700 MB, which also spares the page faults of ever new memory.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=32}"
# Runs one target (its lines go to standard output); fails when the target found something.
run_target() {
    local target="$1" name work corpus seeds bound what start took_ms done_runs cov failed=0
    name=$(basename "$target")
    work=$(mktemp -d)
    corpus="tests/fuzz/corpus/$name"
    if [ -d "$corpus" ]; then cp -r "$corpus/." "$work/"; fi
    seeds=$(find "$work" -type f | wc -l)
    if [ -n "$runs" ] && [ -n "$within" ]; then
        bound="-runs=$runs -max_total_time=$within"; what="$runs runs or ${within}s"
    elif [ -n "$runs" ]; then bound="-runs=$runs"; what="$runs runs"; else
        bound="-max_total_time=$seconds"; what="${seconds}s"; fi
    echo "== $name: $seeds seed inputs, $what"
    mkdir -p fuzz-artifacts
    start=$(date +%s%N)
    # shellcheck disable=SC2086 # the bound is one or two options
    if ! "$target" $bound -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -seed="$seed" -artifact_prefix="fuzz-artifacts/$name-" \
        -print_final_stats=1 "$work" >"$work.log" 2>&1; then
        failed=1
        tail -n 40 "$work.log"
    fi
    took_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
    done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log" | tail -1)
    done_runs=${done_runs:-0}
    cov=$(grep -oE 'cov: [0-9]+' "$work.log" | tail -1 || true)
    echo "   $done_runs runs in $(( took_ms / 1000 )) s ($(( done_runs * 1000 / took_ms )) a second), $cov"
    echo "   corpus after run: $(find "$work" -type f | wc -l) inputs"
    if [ -n "$runs" ]; then
        mkdir -p "$corpus"
        "$target" -merge=1 "$corpus" "$work" >"$work.merge.log" 2>&1 || true
        echo "   merged into $corpus: $(find "$corpus" -type f | wc -l) inputs"
        rm -f "$work.merge.log"
    fi
    rm -rf "$work" "$work.log"
    return $failed
}

# Targets run side by side, FUZZ_JOBS at a time (default: one for each core); each one's lines
# are shown together, in the order of the targets.
jobs_max="${FUZZ_JOBS:-$(nproc)}"
results=$(mktemp -d)
targets=()
for target in build-fuzz/tests/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    [ -n "$only" ] && [ "$name" != "$only" ] && continue
    targets+=("$name")
    while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do wait -n || true; done
    { run_target "$target" || touch "$results/$name.failed"; } >"$results/$name.out" 2>&1 &
done
wait
status=0
for name in "${targets[@]}"; do
    cat "$results/$name.out"
    [ -e "$results/$name.failed" ] && status=1
done
rm -rf "$results"
exit $status
