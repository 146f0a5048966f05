#!/usr/bin/env bash
# Installs what building and testing VQ8 Comm needs on Debian 12.
# Quick when everything is there: only missing packages are fetched. Options
# add to the base set and may be combined (setup.sh --packaging --windows):
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
for option in "$@"; do
    case "$option" in
    --packaging)
        # dpkg-shlibdeps and file for the package's dependencies; validators of
        # what it installs; man for its pages; systemd-analyze for the user unit.
        packages+=(dpkg-dev file desktop-file-utils appstream man-db systemd) ;;
    --fuzzing)
        packages+=(clang libclang-rt-14-dev) ;;
    --windows)
        # flock (util-linux) shares one Wine prefix between parallel tests;
        # Wine's own fonts give its windows the look of Windows'; xdotool and
        # ImageMagick drive and shoot the program under Xvfb; wixl makes the
        # MSI, osslsigncode signs it and the programs, openssl makes CI's
        # throw-away certificate, binutils' strings reads the Start-menu
        # shortcuts, ss (iproute2) sees the window connect.
        packages+=(g++-mingw-w64-x86-64-posix wine64 fonts-wine util-linux xdotool imagemagick wixl msitools
                   osslsigncode openssl binutils iproute2) ;;
    --format)
        format_only=1 ;;
    *)
        echo "setup.sh: unknown option \"$option\" (--packaging, --fuzzing, --windows, --format)" >&2
        exit 2 ;;
    esac
done
if [ -n "${format_only:-}" ]; then
    # The format check alone needs nothing else.
    [ $# -eq 1 ] && packages=()
    packages+=(clang-format)
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
