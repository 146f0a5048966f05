#!/usr/bin/env bash
# Builds VQ8 Comm and runs it on its embedded generator emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" --parallel "$(nproc)"
exec "$build/app/vq8comm" --demo "$@"
