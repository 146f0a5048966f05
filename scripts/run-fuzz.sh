#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time on its
# seeds (fuzz/corpus/NAME) and dictionary; fails on the first finding, whose
# input libFuzzer leaves in the build folder (crash-*, leak-*, timeout-*).
#   BUILD_DIR     build folder (default: build-fuzz)
#   CMAKE_ARGS    extra CMake options
#   FUZZ_SECONDS  time per target (default: 60)
#   FUZZ_TARGETS  the targets to run (default: every fuzz/fuzz_NAME.cpp)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --fuzzing
build=${BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
if [ -z "${FUZZ_TARGETS:-}" ]; then
    FUZZ_TARGETS=$(cd fuzz && for f in fuzz_*.cpp; do f=${f#fuzz_}; printf '%s ' "${f%.cpp}"; done)
fi
targets=$FUZZ_TARGETS
# The tests and the benchmark are not needed here; the libraries they share
# with the fuzz targets are built with coverage, which they must not carry.
# shellcheck disable=SC2086
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_FUZZ=ON \
    -DVQ_BUILD_TESTS=OFF -DVQ_BUILD_BENCH=OFF ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target vq_fuzz
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
root=$PWD
for target in $targets; do
    # What a run finds beyond the seeds stays in the build folder, so that a
    # later run goes on from there; the committed seeds stay small.
    mkdir -p "$build/fuzz/work/$target"
    log="$build/fuzz/work/$target.log"
    echo "== fuzz_$target for ${seconds} s"
    status=0
    (cd "$build/fuzz" && "./fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -dict="$root/fuzz/$target.dict" "work/$target" "$root/fuzz/corpus/$target") \
        >"$log" 2>&1 || status=$?
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units)' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log" >&2
        echo "fuzz_$target found a fault (exit $status); its input is in $build/fuzz/" >&2
        exit 1
    fi
done
