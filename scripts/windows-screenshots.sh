#!/usr/bin/env bash
# Screenshots of vq8comm.exe under Wine and Xvfb on Qt's windows platform
# plugin, for a look at fonts, sizes and icons (a manual check, no test):
#   scripts/windows-screenshots.sh FOLDER OUT_DIR
# FOLDER is the installed Windows folder (scripts/build-windows.sh --folder
# leaves it in build-win/folder). The demo is driven with xdotool: the network
# dialog, the main window connected, a PC to VQ copy (file dialog, kind
# dialog, progress) and a VQ to PC copy. Needs xvfb-run, xdotool and
# ImageMagick's import; only loopback addresses are used.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 FOLDER OUT_DIR" >&2; exit 2; }
folder=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

work=$(mktemp -d)
trap 'WINEPREFIX=$work/wine "$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
unset WINEPATH
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot --init >/dev/null 2>&1
# A picture big enough that both copies are still under way when shot.
head -c $((24 * 1024 * 1024)) /dev/urandom >"$work/CLIP.PIC"

cat >"$work/drive.sh" <<'SCRIPT'
set -euo pipefail
shot() { sleep "${2:-1}"; import -window root "$out/$1.png"; echo "$out/$1.png"; }
window() { timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n1; }
gone() { for _ in $(seq 600); do xdotool search --onlyvisible --name "$1" >/dev/null || return 0; sleep 0.2; done; }

(cd "$folder" && "$wine" vq8comm.exe --demo) &
dialog=$(window '^Ethernet$')
shot 1-network-dialog
xdotool windowactivate --sync "$dialog" key Return
main=$(window '^VQ8 Comm$')
shot 2-main-window-connected 2
# The tree's PICTURE folder, then PC to VQ from the File menu.
xdotool windowactivate --sync "$main"
xdotool key Home type PICTURE
shot 3-picture-folder
xdotool key alt+f p
dialog=$(window '^PC to VQ Download$')
shot 4-open-dialog 2
xdotool type --delay 20 "Z:${work//\//\\}\\CLIP.PIC"
xdotool key Return
dialog=$(window '^Picture File$')
shot 5-kind-dialog
xdotool windowactivate --sync "$dialog" key Return
window '^Copying\.\.\.$' >/dev/null
shot 6-progress-pc-to-vq 0.3
gone '^Copying\.\.\.$'
shot 7-after-pc-to-vq 2
# The file just sent, back to the PC: it is paced, so the progress stays.
xdotool windowactivate --sync "$main" key F6 Home
xdotool type CLIP
xdotool key alt+f v
dialog=$(window '^VQ to PC Upload$')
shot 8-save-dialog 2
xdotool key ctrl+a
xdotool type --delay 20 "Z:${work//\//\\}\\BACK.PIC"
xdotool key Return
progress=$(window '^Copying\.\.\.$')
shot 9-progress-vq-to-pc 3
xdotool windowactivate --sync "$progress" key Escape
gone '^Copying\.\.\.$'
shot 10-after-cancel 2
xdotool windowactivate --sync "$main" key alt+F4
SCRIPT
export out folder wine work
xvfb-run -a -s "-screen 0 1280x900x24" bash "$work/drive.sh"
