#!/usr/bin/env bash
# Cross-builds VQ8 Comm for 64-bit Windows (MinGW-w64 against Qt for Windows)
# and runs every test under Wine; then, with --folder, installs the folder a
# Windows user runs and checks it (packaging/check-windows-folder.sh); with
# --packages, makes the MSI and the portable ZIP of that folder in
# BUILD_DIR/packages, signed when a certificate is given (VQ_SIGN_*, see
# packaging/sign-windows.sh), and checks the MSI (packaging/check-msi.sh).
#   scripts/build-windows.sh [--qt DIR] [--folder] [--packages] [--no-tests]
#   --qt DIR          Qt for Windows, an install prefix (default: ../shared/qt6-mingw
#                     beside the repository; scripts/build-qt-mingw.sh makes one)
#   BUILD_DIR         the Windows build folder (default: build-win)
#   NATIVE_BUILD_DIR  a native build folder: its vq-icon-render renders the
#                     drawings (default: build-native, made with only that
#                     target when it has none)
#   BUILD_TYPE, CMAKE_ARGS, CTEST_ARGS  as for run-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

qt=$root/../shared/qt6-mingw
folder=0
packages=0
tests=1
while [ $# -gt 0 ]; do
    case $1 in
    --qt) qt=$2; shift 2 ;;
    --folder) folder=1; shift ;;
    --packages) packages=1; shift ;;
    --no-tests) tests=0; shift ;;
    *) echo "usage: $0 [--qt DIR] [--folder] [--packages] [--no-tests]" >&2; exit 2 ;;
    esac
done
if [ ! -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "build-windows: no Qt for Windows in $qt (--qt DIR; scripts/build-qt-mingw.sh makes one)" >&2
    exit 1
fi
qt=$(cd "$qt" && pwd)

./scripts/setup.sh
./scripts/setup.sh --windows

native=${NATIVE_BUILD_DIR:-build-native}
if [ ! -x "$native/packaging/vq-icon-render" ]; then
    if [ ! -f "$native/CMakeCache.txt" ]; then
        cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_TESTS=OFF \
            -DVQ_BUILD_BENCH=OFF >/dev/null
    fi
    cmake --build "$native" --target vq-icon-render --parallel "$(nproc)"
fi

build=${BUILD_DIR:-build-win}
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
    -DVQ_HOST_ICON_RENDER="$(cd "$native" && pwd)/packaging/vq-icon-render" -DVQ_BUILD_BENCH=OFF \
    ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel "$(nproc)"

if [ "$tests" = 1 ]; then
    # One Wine prefix for the whole run, made before the first test and
    # removed after the last.
    WINEPREFIX=$(mktemp -d)/wine
    export WINEPREFIX
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$(dirname "$WINEPREFIX")"' EXIT
    # shellcheck disable=SC2086
    ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" ${CTEST_ARGS:-}
fi

if [ "$folder" = 1 ]; then
    rm -rf "$build/folder"
    cmake --install "$build" --prefix "$build/folder" --strip >/dev/null
    ./packaging/check-windows-folder.sh "$build/folder"
fi

if [ "$packages" = 1 ]; then
    cmake --build "$build" --target windows_packages
    ./packaging/check-msi.sh "$build" "$build/packages"
fi
