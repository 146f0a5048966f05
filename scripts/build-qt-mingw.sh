#!/usr/bin/env bash
# Builds Qt for Windows x86_64 (MinGW-w64, posix threads) from Debian's own
# qt6-base source package, of the version of the host's Qt (its moc, rcc and
# uic serve the cross-build), into PREFIX when it holds no Qt yet: the folder
# scripts/build-windows.sh builds against. About an hour on two cores.
#   scripts/build-qt-mingw.sh [PREFIX]     (default: ../shared/qt6-mingw beside the repository)
#   WORK_DIR  where the source is fetched and built (default: a temporary
#             folder, removed afterwards)
# The source comes through apt with a private state of its own: deb-src
# entries for the archive this machine already installs from, so the
# system's own apt sources stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=${1:-$root/../shared/qt6-mingw}
if [ -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "build-qt-mingw: $prefix already holds Qt"
    exit 0
fi
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)

./scripts/setup.sh
./scripts/setup.sh --windows

work=${WORK_DIR:-}
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
chmod 755 "$work" # apt fetches as its own user

# --- the source package ------------------------------------------------------
# shellcheck disable=SC1091
. /etc/os-release
release=$VERSION_CODENAME
version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
# The archive URIs this machine installs the release from, in both of apt's
# formats (one-line sources.list, deb822 .sources).
uris=$(
    {
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed -E 's/\[[^]]*\]//' |
            awk -v r="$release" '$1 == "deb" && $3 == r { print $2 }'
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
            awk -v r="$release" 'BEGIN { RS = ""; FS = "\n" }
                { deb = 0; suite = 0; u = ""
                  for (i = 1; i <= NF; i++) {
                      if ($i ~ /^Types:/ && $i ~ /[ \t]deb([ \t]|$)/) deb = 1
                      if ($i ~ /^Suites:/ && (" " $i " ") ~ (" " r " ")) suite = 1
                      if ($i ~ /^URIs:/) { u = $i; sub(/^URIs:[ \t]*/, "", u) } }
                  if (deb && suite) print u }'
    } | tr ' ' '\n' | sed '/^$/d' | sort -u
)
[ -n "$uris" ] || { echo "build-qt-mingw: no apt source for $release found" >&2; exit 1; }
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
for uri in $uris; do
    echo "deb-src $uri $release main"
done >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/none"
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
apt-get "${apt_options[@]}" update
(cd "$work" && apt-get "${apt_options[@]}" source --download-only "qt6-base=$version")
upstream=${version#*:}
upstream=${upstream%-*}
tar -C "$work" -xf "$work"/qt6-base_"$upstream".orig.tar.xz
src=$(echo "$work"/qtbase-everywhere-src-*)
[ -d "$src" ] || { echo "build-qt-mingw: the source tarball held no qtbase folder" >&2; exit 1; }

# The Windows platform plugin names OpenGL functions under dynamicgl even
# with OpenGL off; Debian's tarball also lacks wintab.h (tablet input off).
window_cpp=$src/src/plugins/platforms/windows/qwindowswindow.cpp
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' "$window_cpp"
[ "$(grep -c '^#if QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)$' "$window_cpp")" = 2 ] ||
    { echo "build-qt-mingw: $window_cpp is not as expected" >&2; exit 1; }

# --- the build ---------------------------------------------------------------
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_openssl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF
cmake --build "$work/build" --parallel "$(nproc)"
cmake --install "$work/build"
find "$prefix" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-debug {} +
rm -rf "$prefix/doc"
cat >"$prefix/README.md" <<TEXT
# Qt $upstream for Windows x86_64 (MinGW-w64), cross-built on Debian $VERSION_ID

Made by VQ8 Comm's scripts/build-qt-mingw.sh from Debian's qt6-base $version
source package; scripts/build-windows.sh --qt $prefix builds against it.
TEXT
echo "build-qt-mingw: Qt for Windows in $prefix"
