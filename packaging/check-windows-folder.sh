#!/usr/bin/env bash
# The folder a Windows user runs, on its own: exactly the files it needs, and
# the programs working from it under a fresh Wine prefix with no WINEPATH, so
# every DLL and plugin they load comes from the folder.
#   packaging/check-windows-folder.sh FOLDER   (cmake --install BUILD --prefix FOLDER)
# Needs wine64, xvfb-run and xdotool; only loopback addresses are used.
set -euo pipefail
if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
folder=$(cd "$1" && pwd)
# shellcheck source=packaging/wine-folder.sh
. "$(dirname "$0")/wine-folder.sh"

work=$(mktemp -d)
cleanup() {
    WINEPREFIX=$work/wine "$wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "windows folder check: $*" >&2
    exit 1
}
unset WINEPATH
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
run() { (cd "$folder" && "$wine" "$@"); }

# Nothing more than needed, nothing less.
expected="libgcc_s_seh-1.dll
libstdc++-6.dll
libwinpthread-1.dll
LICENCES.txt
licences/GCC-RLE-3.1.txt
licences/GPL-3.txt
licences/LGPL-3.txt
licences/Qt-copyright.txt
licences/winpthreads.txt
platforms/qwindows.dll
qt.conf
Qt6Core.dll
Qt6Gui.dll
Qt6Network.dll
Qt6Widgets.dll
styles/qwindowsvistastyle.dll
vq820-sim.exe
vq8comm.exe
vq8ctl.exe"
found=$(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort -f)
[ "$found" = "$expected" ] || fail "the folder holds$(diff <(echo "$expected") <(echo "$found") | sed -n 's/^/ /p')"
(cd "$folder" && find . -type f -printf '%10s  %P\n' | LC_ALL=C sort -k2 -f)
echo "$(du -sb "$folder" | cut -f1) bytes in $(echo "$found" | wc -l) files"

"$wine" wineboot --init >/dev/null 2>&1
[ "$(run vq8ctl.exe --version | tr -d '\r')" = "vq8ctl 5.6" ] || fail "vq8ctl.exe --version"
[ "$(run vq8comm.exe --version | tr -d '\r' | head -n1)" = "VQ8 Comm Version 5.6" ] || fail "vq8comm.exe --version"

# The folder's emulator and tool talking on loopback.
tool_lists_emulator "$folder" "$work" >/dev/null || fail "the folder's vq8ctl.exe and vq820-sim.exe"

# The desktop program under Xvfb on the windows platform plugin, with its
# settings in the registry: it reads them at start (the network dialog is
# cancelled, so nothing connects, and a loopback address is stored anyway)
# and writes them at exit in the formats the desktop program always used.
key='HKCU\Software\Veltrane\VQ8 Comm\Settings'
"$wine" reg add "$key" /v TargetHost /t REG_SZ /d 127.0.0.7 /f >/dev/null
"$wine" reg add "$key" /v PrivateSetting /t REG_SZ /d "10, 20, 800, 600, 250, 1, &d, -2, 180, 110" /f >/dev/null
# Wine's session so far has no display: the program must start a new one.
"$wineserver" -k
cat >"$work/window.sh" <<SCRIPT
set -e
cd "$folder"
"$wine" vq8comm.exe &
program=\$!
dialog=\$(timeout 60 xdotool search --sync --onlyvisible --name '^Ethernet\$' | head -n1)
[ -n "\$dialog" ]
xdotool windowfocus --sync "\$dialog"
sleep 0.5
xdotool key Escape
timeout 60 xdotool search --sync --onlyvisible --name '^VQ8 Comm\$' >/dev/null
# Closed as Windows closes a window (WM_CLOSE): the settings are written.
"$wine" taskkill /im vq8comm.exe >/dev/null
timeout 60 tail --pid=\$program -f /dev/null
SCRIPT
timeout 180 xvfb-run -a -s "-screen 0 1280x900x24" bash "$work/window.sh" || fail "vq8comm.exe did not open and close its window"
# The address read at start is written back at exit: not the default.
"$wine" reg query "$key" | tr -d '\r' >"$work/settings"
cat "$work/settings"
grep -Eq '^ +TargetHost +REG_SZ +127\.0\.0\.7$' "$work/settings" || fail "TargetHost in the registry"
grep -Eq '^ +Path +REG_SZ +C:\\$' "$work/settings" || fail "Path in the registry"
grep -Eq '^ +PrivateSetting +REG_SZ +-?[0-9]+, -?[0-9]+, [0-9]+, [0-9]+, [0-9]+, 1, &d, -2, 180, 110$' \
    "$work/settings" || fail "PrivateSetting in the registry"
echo "windows folder check: passed"
