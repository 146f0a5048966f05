#!/usr/bin/env bash
# The MSI as a lab PC meets it, under Wine in a fresh prefix: installed
# silently over an earlier version of the same package (one uninstall entry
# stays, with icon, version, publisher and a quiet uninstall), a downgrade
# refused, exactly the files of the portable ZIP in the program folder, the
# two Start-menu entries, the installed vq8ctl.exe listing an emulator, the
# window started from the Start menu's emulator entry and connecting, the
# window's round trip by key presses (scripts/windows-roundtrip.sh), and the
# quiet uninstall leaving nothing but the user's settings. With a certificate
# given (VQ_SIGN_CERT or VQ_SIGN_CA, see packaging/sign-windows.sh) the MSI
# and the installed programs must carry a signature that verifies.
#   packaging/check-msi.sh BUILD PACKAGES
# BUILD is the Windows build whose windows_packages target made PACKAGES
# (vq8comm-X.Y.Z-win64.msi and .zip); an earlier version is made from it.
# Screenshots go to PACKAGES/check. Needs wine64, xvfb-run, xdotool,
# ImageMagick, wixl, osslsigncode, strings and ss; only loopback is used.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD PACKAGES" >&2; exit 2; }
source=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
packages=$(cd "$2" && pwd)
msi=$(ls "$packages"/vq8comm-*-win64.msi)
zip=${msi%.msi}.zip
version=$(basename "$msi" | sed 's/^vq8comm-\(.*\)-win64\.msi$/\1/')
# shellcheck source=packaging/wine-folder.sh
. "$source/packaging/wine-folder.sh"
shots=$packages/check
mkdir -p "$shots"

work=$(mktemp -d)
cleanup() {
    WINEPREFIX=$work/wine "$wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "msi check: $*" >&2
    exit 1
}
step() { echo "msi check: $*"; }
unset WINEPATH
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winpath() { echo "Z:${1//\//\\}"; }
program_folder="$WINEPREFIX/drive_c/Program Files/VQ8 Comm"
# The Start menu of all users, where Windows puts a per-machine package's
# entries; Wine 8 puts them in the installing user's (its msi keeps
# ProgramMenuFolder per user): the one that has them is taken.
start_menus=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
             "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
settings_key='HKCU\Software\Veltrane\VQ8 Comm\Settings'

ca=${VQ_SIGN_CA:-${VQ_SIGN_CERT:-}}
verify() {
    [ -n "$ca" ] || return 0
    osslsigncode verify -CAfile "$ca" -in "$1" >/dev/null || fail "the signature of $1 does not verify"
}
verify "$msi"

# The same package as an earlier version, unsigned.
(unset VQ_SIGN_PKCS12 VQ_SIGN_CERT VQ_SIGN_KEY
 "$source/packaging/make-windows-packages.sh" --version 0.0.1 "$build" "$work/old" >/dev/null)
old_msi=$work/old/vq8comm-0.0.1-win64.msi

# The uninstall entries of VQ8 Comm, one line each: key, then its values.
entries() {
    "$wine" reg query "$uninstall_key" | tr -d '\r' | grep -i '\\{' | while read -r key; do
        values=$("$wine" reg query "$key" | tr -d '\r')
        if grep -Eq '^ +DisplayName +REG_SZ +VQ8 Comm$' <<<"$values"; then
            echo "$key"
            echo "$values" | grep -E '^ +[A-Za-z]+ +REG_' || true
        fi
    done
}
value() { grep -E "^ +$1 +REG_[A-Z_]+ +" <<<"$2" | sed -E "s/^ +$1 +REG_[A-Z_]+ +//"; }
msiexec() {
    local rc=0
    "$wine" msiexec "$@" >/dev/null 2>&1 || rc=$?
    echo "$rc"
}

"$wine" wineboot --init >/dev/null 2>&1
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

rc=$(msiexec /i "$(winpath "$old_msi")" /qn)
[ "$rc" = 0 ] || fail "msiexec /i of version 0.0.1 ended with $rc"
[ "$(entries | grep -c '\\{')" = 1 ] || fail "version 0.0.1 left $(entries | grep -c '\\{') uninstall entries"
step "version 0.0.1 installed"

rc=$(msiexec /i "$(winpath "$msi")" /qn)
[ "$rc" = 0 ] || fail "msiexec /i ended with $rc"
found=$(entries)
[ "$(grep -c '\\{' <<<"$found")" = 1 ] || fail "the upgrade left $(grep -c '\\{' <<<"$found") uninstall entries"
echo "$found"
[ "$(value DisplayVersion "$found")" = "$version" ] || fail "DisplayVersion after the upgrade"
[ "$(value Publisher "$found")" = Veltrane ] || fail "Publisher"
[ "$(value DisplayIcon "$found")" = 'C:\Program Files\VQ8 Comm\vq8comm.exe,0' ] || fail "DisplayIcon"
product=$(head -n1 <<<"$found" | sed 's/.*\\//')
[ -s "$WINEPREFIX/drive_c/windows/Installer/$product/vq8comm.ico" ] || fail "no icon of the package kept"
[ "$(value NoModify "$found")" = 0x1 ] || fail "NoModify"
quiet=$(value QuietUninstallString "$found")
[[ $quiet =~ ^MsiExec.exe\ /X\{[0-9A-F-]+\}\ /qn$ ]] || fail "QuietUninstallString: $quiet"
step "upgraded to $version silently: one uninstall entry"

rc=$(msiexec /i "$(winpath "$old_msi")" /qn)
[ "$rc" != 0 ] || fail "the earlier version installed over the newer one"
[ "$(entries | grep -c '\\{')" = 1 ] || fail "the refused downgrade changed the uninstall entries"
step "the earlier version refused (exit status $rc)"

# Exactly the portable ZIP's files, byte for byte.
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
diff -r "$work/zip/$(basename "${zip%.zip}")" "$program_folder" || fail "the program folder differs from the ZIP"
for exe in "$program_folder"/*.exe; do verify "$exe"; done
step "$(find "$program_folder" -type f | wc -l) files, the same as in the ZIP${ca:+, programs signed}"

start_menu=""
for each in "${start_menus[@]}"; do
    if [ -f "$each/VQ8 Comm.lnk" ]; then start_menu=$each; fi
done
[ -n "$start_menu" ] || fail "no Start-menu entry \"VQ8 Comm\""
[ -f "$start_menu/VQ8 Comm (Built-in Emulator).lnk" ] || fail "no Start-menu entry \"VQ8 Comm (Built-in Emulator)\""
strings -el "$start_menu/VQ8 Comm (Built-in Emulator).lnk" | grep -qx -- '--demo' ||
    fail "the emulator entry does not start the emulator"
step "Start-menu entries in ${start_menu#"$WINEPREFIX/drive_c/"}: $(cd "$start_menu" && find . -name '*.lnk' -printf '"%f" ')"

# The installed programs: vq8ctl.exe lists its emulator's folders.
listed=$(tool_lists_emulator "$program_folder" "$work") || fail "the installed vq8ctl.exe and vq820-sim.exe"
step "the installed vq8ctl.exe lists the installed emulator: $listed entries"

# The Start menu's emulator entry: the window, its own emulator listening on
# loopback, and the window connected to it.
"$wineserver" -k
cat >"$work/demo.sh" <<'SCRIPT'
set -euo pipefail
# (Wine's first start of a shortcut in a new session now and then fails.)
for _ in 1 2 3; do
    "$wine" start /unix "$start_menu/VQ8 Comm (Built-in Emulator).lnk" && break
    sleep 2
done
dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^Ethernet$' | head -n1)
xdotool windowfocus --sync "$dialog"
sleep 0.5
xdotool key Return
timeout 60 xdotool search --sync --onlyvisible --name '^VQ8 Comm$' >/dev/null
# The program of this prefix (other Wine programs may run beside it).
program_pid() {
    for pid in $(pgrep -f 'vq8comm\.exe'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done | head -n1
}
for _ in $(seq 100); do
    # A connection of the program to a port that its own Wine session listens
    # on: its emulator (under Wine the wineserver holds a program's sockets).
    pid=$(program_pid)
    if [ -n "$pid" ]; then
        ss -Htnp state established '( src 127.0.0.1 and dst 127.0.0.1 )' | grep "pid=$pid," |
            sed -n 's/.*127\.0\.0\.1:\([0-9]*\) .*"wineserver[0-9]*",pid=\([0-9]*\),.*/\1 \2/p' >"$work/peers" || true
        while read -r port server; do
            if ss -Htlnp "( sport = :$port )" | grep -q "pid=$server,"; then
                sleep 2
                import -window root "$shots/demo-connected.png"
                "$wine" taskkill /im vq8comm.exe >/dev/null
                exit 0
            fi
        done <"$work/peers"
    fi
    sleep 0.2
done
echo "no connection"
exit 1
SCRIPT
export wine start_menu shots work
timeout 180 xvfb-run -a -s "-screen 0 1280x900x24" bash "$work/demo.sh" ||
    fail "the emulator entry's window did not connect"
"$wineserver" -w
step "the emulator entry's window connected ($shots/demo-connected.png)"

"$source/scripts/windows-roundtrip.sh" "$program_folder" "$shots" | sed 's/^/msi check: /'
"$wineserver" -w
"$wine" reg query "$settings_key" >/dev/null 2>&1 || fail "no settings written by the window"

# The quiet uninstall the entry names.
rc=0
"$wine" cmd /c "$quiet" >/dev/null 2>&1 || rc=$?
[ "$rc" = 0 ] || fail "$quiet ended with $rc"
[ -z "$(entries)" ] || fail "an uninstall entry is left"
[ ! -e "$program_folder" ] || fail "left in the program folder: $(cd "$program_folder" && find . | head)"
for each in "${start_menus[@]}"; do
    [ -z "$(find "$each" -name 'VQ8 Comm*')" ] || fail "a Start-menu entry is left in $each"
done
"$wine" reg query "$settings_key" >/dev/null 2>&1 || fail "the uninstall removed the user's settings"
step "uninstalled quietly: no files, entries or shortcuts left; the user's settings kept"
echo "msi check: passed"
