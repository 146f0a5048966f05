#!/usr/bin/env bash
# Screenshots of vq8comm.exe under Wine and Xvfb on Qt's windows platform
# plugin, for a look at fonts, sizes and icons (a manual check, no test):
#   scripts/windows-screenshots.sh FOLDER OUT_DIR
# FOLDER is the installed Windows folder (scripts/build-windows.sh --folder
# leaves it in build-win/folder). The demo is driven with xdotool: the network
# dialog, the main window connected, a PC to VQ copy (the platform's file
# dialog, the kind dialog, progress) and a VQ to PC copy, cancelled. Xvfb has
# no window manager, so the windows have no frames; a last shot shows the
# main window in Wine's own desktop, framed. Needs xvfb-run, xdotool, fonts-wine
# and ImageMagick's import (scripts/setup.sh --windows); only loopback
# addresses are used.
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
"$wineserver" -k || true
# Debian's Wine leaves its own fonts out of a new prefix: without its Tahoma
# the "MS Shell Dlg" Windows programs are given falls to a serif font.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# A picture big enough that the copy back is still under way when shot.
head -c $((24 * 1024 * 1024)) /dev/urandom >"$work/CLIP.PIC"

cat >"$work/drive.sh" <<'SCRIPT'
set -euo pipefail
shot() { sleep "${2:-1}"; import -window root "$out/$1.png"; echo "$out/$1.png"; }
window() { timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n1; }
focus() { xdotool windowfocus --sync "$1"; sleep 0.3; }
gone() { for _ in $(seq 300); do xdotool search --onlyvisible --name "$1" >/dev/null || return 0; sleep 0.2; done; }
pcpath() { echo "Z:${work//\//\\}\\$1"; }

(cd "$folder" && "$wine" vq8comm.exe --demo) &
dialog=$(window '^Ethernet$')
shot 1-network-dialog
focus "$dialog"
xdotool key Return
gone '^Ethernet$'
main=$(window '^VQ8 Comm$')
shot 2-main-window-connected 2
# The PICTURE folder, opened in the list; then File, PC to VQ.
focus "$main"
xdotool type PICTURE
xdotool key Return
shot 3-picture-folder 2
xdotool key alt+f p
focus "$(window '^PC to VQ Download$')"
shot 4-pc-to-vq-file-dialog
xdotool type --delay 20 "$(pcpath CLIP.PIC)"
xdotool key Return
focus "$(window '^Picture File$')"
shot 5-kind-dialog
xdotool key Return
window '^Copying\.\.\.$' >/dev/null
shot 6-pc-to-vq-progress 0.2
gone '^Copying\.\.\.$'
shot 7-after-pc-to-vq 2
# The file just sent, back to the PC; paced, so the progress stays long.
focus "$main"
xdotool type CLIP
xdotool key alt+f v
focus "$(window '^VQ to PC Upload$')"
shot 8-vq-to-pc-file-dialog
xdotool key ctrl+a
xdotool type --delay 20 "$(pcpath BACK.PIC)"
xdotool key Return
progress=$(window '^Copying\.\.\.$')
shot 9-vq-to-pc-progress 3
focus "$progress"
xdotool key Escape
gone '^Copying\.\.\.$'
shot 10-after-cancel 2
"$wine" taskkill /im vq8comm.exe >/dev/null
SCRIPT
export out folder wine work
xvfb-run -a -s "-screen 0 1280x900x24" bash "$work/drive.sh"
"$wineserver" -w

# Framed, in Wine's own desktop (its windows are not X windows: timed, not searched).
cat >"$work/framed.sh" <<'SCRIPT'
(cd "$folder" && "$wine" explorer /desktop=vq8comm,1280x900 vq8comm.exe --demo) &
sleep 15
xdotool key Return
sleep 4
import -window root "$out/11-framed-in-wine-desktop.png"
echo "$out/11-framed-in-wine-desktop.png"
SCRIPT
xvfb-run -a -s "-screen 0 1280x900x24" bash "$work/framed.sh"
