#!/usr/bin/env bash
# The window's round trip under Wine, driven by key presses as a user gives
# them: vq8comm.exe of FOLDER connects to the folder's emulator (vq820-sim.exe
# keeping its files in a host folder), sends a file from the PC (File, PC to
# VQ), fetches it back (File, VQ to PC), and every copy is compared byte for
# byte. Screenshots of the connected window and of the end go to OUT_DIR.
#   scripts/windows-roundtrip.sh FOLDER OUT_DIR
# FOLDER is an installed Windows folder (build-win/folder, or C:\Program
# Files\VQ8 Comm of a prefix). Uses WINEPREFIX when set (the caller's prefix,
# say with the MSI installed), else a fresh one of its own. Needs wine64,
# xvfb-run, xdotool and ImageMagick's import; only loopback addresses are used.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 FOLDER OUT_DIR" >&2; exit 2; }
folder=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
helpers=$(cd "$(dirname "$0")/../packaging" && pwd)/wine-folder.sh
# shellcheck source=packaging/wine-folder.sh
. "$helpers"

work=$(mktemp -d)
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$work/wine
    own_prefix=1
fi
cleanup() {
    # What a failed step left running.
    "$wine" taskkill /f /im vq8comm.exe >/dev/null 2>&1 || true
    "$wine" taskkill /f /im vq820-sim.exe >/dev/null 2>&1 || true
    if [ "$own_prefix" = 1 ]; then "$wineserver" -k 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "window round trip: $*" >&2
    exit 1
}
unset WINEPATH
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$own_prefix" = 1 ]; then
    "$wine" wineboot --init >/dev/null 2>&1
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

"$wine" reg add 'HKCU\Software\Veltrane\VQ8 Comm\Settings' /v TargetHost /t REG_SZ /d 127.0.0.1 /f >/dev/null
# Wine's session so far has no display: the programs must start a new one.
"$wineserver" -w
mkdir -p "$work/generator"

# A picture of 1 MB of every byte value, through the platform's dialogs.
head -c $((1024 * 1024)) /dev/urandom >"$work/CLIP.PIC"
cat >"$work/drive.sh" <<'SCRIPT'
set -euo pipefail
# What the screen showed when a step failed.
trap 'status=$?; [ $status = 0 ] || { import -window root "$out/roundtrip-failed.png"; echo "screen: $out/roundtrip-failed.png"; }' EXIT
window() { timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n1; }
focus() { xdotool windowfocus --sync "$1"; sleep 0.5; }
gone() {
    for _ in $(seq 300); do xdotool search --onlyvisible --name "$1" >/dev/null || return 0; sleep 0.2; done
    return 1
}
pcpath() { echo "Z:${work//\//\\}\\$1"; }
arrived() { for _ in $(seq 150); do [ -s "$1" ] && return 0; sleep 0.2; done; return 1; }

# The emulator, its files in a host folder, on an ephemeral loopback port.
. "$helpers"
start_emulator "$folder" "$work/sim.out" --root "$(pcpath generator)"

(cd "$folder" && exec "$wine" vq8comm.exe --port "$emulator_port") >"$work/window.out" 2>&1 &
dialog=$(window '^Ethernet$')
focus "$dialog"
xdotool key Return
gone '^Ethernet$'
main=$(window '^VQ8 Comm$')
sleep 2
import -window root "$out/roundtrip-1-connected.png"
# The PICTURE folder in the list, then File, PC to VQ.
focus "$main"
xdotool type PICTURE
xdotool key Return
sleep 2
xdotool key alt+f p
focus "$(window '^PC to VQ Download$')"
xdotool type --delay 20 "$(pcpath CLIP.PIC)"
xdotool key Return
focus "$(window '^Picture File$')"
xdotool key Return
# (The progress may come and go between two looks: the file is waited for.)
arrived "$work/generator/PICTURE/CLIP.PIC" || { echo "nothing arrived on the generator"; exit 1; }
gone '^Copying\.\.\.$'
sleep 2
# The file just sent, back to the PC under another name: File, VQ to PC.
# (In lower case: Wine's save dialog adds the filter's ".pic" to ".PIC".)
# The list is read again once the batch has ended: the file is selected
# (by typing its name) once it is there, asked again while it is not.
upload=""
for _ in 1 2 3 4 5; do
    focus "$main"
    xdotool type CLIP
    xdotool key alt+f v
    upload=$(timeout 10 xdotool search --sync --onlyvisible --name '^VQ to PC Upload$' | head -n1) && break
    xdotool key Return # "Please select a file to upload."
    sleep 2
done
focus "$upload"
xdotool key ctrl+a
xdotool type --delay 20 "$(pcpath back.pic)"
xdotool key Return
arrived "$work/back.pic" || { echo "nothing arrived on the PC"; exit 1; }
gone '^Copying\.\.\.$'
sleep 1
import -window root "$out/roundtrip-2-done.png"
"$wine" taskkill /im vq8comm.exe >/dev/null
"$wine" taskkill /f /im vq820-sim.exe >/dev/null
SCRIPT
export folder wine work out helpers
timeout 300 xvfb-run -a -s "-screen 0 1280x900x24" bash "$work/drive.sh" || fail "the window was not driven through"
cmp "$work/CLIP.PIC" "$work/generator/PICTURE/CLIP.PIC" || fail "the file on the generator differs"
cmp "$work/CLIP.PIC" "$work/back.pic" || fail "the file back on the PC differs"
echo "window round trip: $(stat -c %s "$work/CLIP.PIC") bytes to the generator and back, identical" \
    "($out/roundtrip-1-connected.png, roundtrip-2-done.png)"
