#!/usr/bin/env bash
# Installs what building and testing VQ8 Comm needs on Debian 12.
# Quick when everything is there: only missing packages are fetched.
#   --packaging  also what building and checking the Debian package needs
#   --fuzzing    also clang and libFuzzer, for the fuzz targets
#   --format     only clang-format, for the format check
#   --windows    also the MinGW-w64 cross compiler and Wine, for the Windows
#                build and its tests (scripts/build-windows.sh)
set -euo pipefail

# libfuse3-dev and fuse3 for vq8ctl mount (fusermount3 too); python3 runs
# the editors' ways of saving in its tests.
packages=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
          xvfb xauth pkg-config libfuse3-dev fuse3 python3)
if [ "${1:-}" = --packaging ]; then
    # dpkg-shlibdeps and file for the package's dependencies; validators of
    # what it installs; man for its pages; systemd-analyze for the user unit.
    packages+=(dpkg-dev file desktop-file-utils appstream man-db systemd)
elif [ "${1:-}" = --fuzzing ]; then
    packages+=(clang libclang-rt-14-dev)
elif [ "${1:-}" = --windows ]; then
    # flock (util-linux) shares one Wine prefix between parallel tests;
    # Wine's own fonts give its windows the look of Windows'; xdotool and
    # ImageMagick drive and shoot the program under Xvfb.
    packages+=(g++-mingw-w64-x86-64-posix wine64 fonts-wine util-linux xdotool imagemagick)
elif [ "${1:-}" = --format ]; then
    packages=(clang-format)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
