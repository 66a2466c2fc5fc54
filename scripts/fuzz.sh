#!/usr/bin/env bash
# Runs the libFuzzer harnesses of tests/fuzz, each for the given number of
# seconds, on its seeds in tests/fuzz/corpus/<harness>.
#
#   scripts/fuzz.sh SECONDS [HARNESS...]      (all of them when none is named)
#
# Builds them first with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ (SANITIZE_BUILD_DIR to change it); clang must be installed,
# as `scripts/setup.sh sanitize` does. What a run learns is kept for the next
# one in build-sanitize/fuzz/corpus/<harness>, never in the repository. An
# input that breaks a property or the sanitizers is saved as
# build-sanitize/fuzz/artifacts/<harness>/crash-...; to see it again, run the
# harness with that file as its only argument. The script fails when any
# harness did.
#
# Harnesses run FUZZ_JOBS at a time (2 unless set; each is one process on one
# core), each for the whole given time; their reports are shown afterwards,
# in the order named.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${SANITIZE_BUILD_DIR:-$here/build-sanitize}"
all=(fuzz_position fuzz_separator fuzz_codetable fuzz_numtext fuzz_helpers fuzz_csv fuzz_workbook)

seconds="${1:-}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "Uso: $0 SEGUNDOS [${all[*]}]" >&2
    exit 2
fi
shift
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=("${all[@]}")

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DSOLVANTA_SANITIZE=ON -DSOLVANTA_FUZZ=ON >/dev/null
cmake --build "$build" --parallel 2 --target "${harnesses[@]}"

# The harnesses write and read files for every input: a folder in memory
# keeps that fast, and it goes away however the run ends.
tmp_parent=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && tmp_parent=/dev/shm
scratch="$(mktemp -d "$tmp_parent/solvanta-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

jobs="${FUZZ_JOBS:-2}"
if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
    echo "FUZZ_JOBS debe ser un número entero positivo: $jobs" >&2
    exit 2
fi

export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for h in "${harnesses[@]}"; do
    seeds="$here/tests/fuzz/corpus/$h"
    [ -d "$seeds" ] || { echo "No hay semillas para $h en $seeds" >&2; exit 2; }
done

# One harness, in the background: its exit status goes to a file of its own.
fuzz_one() {
    local h="$1"
    local learned="$build/fuzz/corpus/$h" artifacts="$build/fuzz/artifacts/$h"
    mkdir -p "$learned" "$artifacts"
    local status=0
    TMPDIR="$scratch" "$build/tests/fuzz/$h" -max_total_time="$seconds" -timeout=30 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$learned" "$here/tests/fuzz/corpus/$h" >"$build/fuzz/$h.log" 2>&1 || status=$?
    echo "$status" >"$scratch/$h.status"
}

mkdir -p "$build/fuzz"
for h in "${harnesses[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    echo "== $h: $seconds s"
    fuzz_one "$h" &
done
wait

failed=()
for h in "${harnesses[@]}"; do
    echo "== $h"
    if [ "$(cat "$scratch/$h.status" 2>/dev/null)" != 0 ]; then
        failed+=("$h")
        tail -n 60 "$build/fuzz/$h.log"
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$build/fuzz/$h.log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "Fallaron: ${failed[*]} (entradas en $build/fuzz/artifacts/)" >&2
    exit 1
fi
echo "Sin hallazgos: ${harnesses[*]}"
