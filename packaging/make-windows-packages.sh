#!/usr/bin/env bash
# The two packages of a Windows build, made from one installed folder: the
# MSI (wixl, packaging/vq8comm.wxs) and the portable ZIP. The programs are
# signed before either is made and the MSI after, when a certificate is given
# (packaging/sign-windows.sh says how).
#   packaging/make-windows-packages.sh --version X.Y.Z BUILD OUT
# BUILD is a Windows build folder; OUT receives vq8comm-X.Y.Z-win64.msi and
# .zip. The build's target windows_packages runs this with the project's
# version (cmake --build BUILD --target windows_packages: OUT is BUILD/packages).
# Needs wixl and wixl-heat (msitools), osslsigncode to sign.
set -euo pipefail
usage() {
    echo "usage: $0 --version X.Y.Z BUILD OUT" >&2
    exit 2
}
if [ "${1:-}" != --version ] || [ $# -ne 4 ]; then usage; fi
version=$2
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || usage
# The lowest version the package does not replace: the same version built
# again is replaced too (Windows Installer compares three fields).
upgrade_below=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))
source=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$3" && pwd)
mkdir -p "$4"
out=$(cd "$4" && pwd)
icon=$build/packaging/vq8comm.ico
[ -f "$icon" ] || { echo "make-windows-packages: $build has not been built" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
name=vq8comm-$version-win64
folder=$stage/$name
cmake --install "$build" --prefix "$folder" --strip >/dev/null
"$source/sign-windows.sh" "$folder"/*.exe

rm -f "$out/$name.zip" "$out/$name.msi"
(cd "$stage" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")

# Every file but vq8comm.exe, whose component the package writes itself
# (the Start-menu entries point at it).
(cd "$folder" && find . -type f ! -path ./vq8comm.exe | LC_ALL=C sort) |
    wixl-heat --prefix ./ --directory-ref INSTALLDIR --component-group Files --var var.Folder --win64 \
        >"$stage/files.wxs"
# wixl finds the files it packs by paths relative to the sources it reads.
cp "$source/vq8comm.wxs" "$icon" "$stage/"
(cd "$stage" && wixl --arch x64 -D Version="$version" -D UpgradeBelow="$upgrade_below" -D Folder="$name" \
    -D Icon=vq8comm.ico -D Win64=yes -o "$out/$name.msi" vq8comm.wxs files.wxs)
"$source/sign-windows.sh" "$out/$name.msi"
stat -c '%s bytes  %n' "$out/$name.msi" "$out/$name.zip"
