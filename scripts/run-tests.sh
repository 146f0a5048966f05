#!/usr/bin/env bash
# Builds VQ8 Comm and runs every test headless.
#   BUILD_DIR   build folder (default: build)
#   BUILD_TYPE  CMake build type (default: RelWithDebInfo)
#   CMAKE_ARGS  extra CMake options (e.g. -DVQ_SANITIZE=ON)
#   TARGETS     build only these targets (default: all); pair with CTEST_ARGS
#   CTEST_ARGS  extra ctest options (e.g. -R 'tst_(upload|download)')
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
build=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_ARGS:-} >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" --parallel "$(nproc)" ${TARGETS:+--target $TARGETS}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" ${CTEST_ARGS:-}
