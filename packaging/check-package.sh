#!/usr/bin/env bash
# The Debian package on a real system: builds it from a build folder, installs
# it with apt-get, uses what it installed, purges it and checks that nothing of
# it is left. It really installs and removes, so it runs as root (CI).
#   BUILD_DIR  the build folder to package (default build-ci; made if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --packaging

build=${BUILD_DIR:-build-ci}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)"

work=$(mktemp -d)
chmod 755 "$work" # apt reads the package as its own user
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "package check: $*" >&2
    exit 1
}

(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(echo "$work"/deb/vq8comm_*.deb)
[ -f "$deb" ] || fail "cpack made no package"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb --field "$deb" Version Depends
[ "$(dpkg-deb --field "$deb" Version)" = 5.6.0 ] || fail "wrong version"
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6 (>=' || fail "no dependencies from the binaries"
dpkg --contents "$deb"

export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W -f='${Status}' vq8comm 2>/dev/null | grep -q installed; then
    apt-get purge -y -qq vq8comm >/dev/null # left by an earlier run
fi
apt-get install -y -qq "$deb" >/dev/null
dpkg -L vq8comm >"$work/files"

# The installed programs, not the build folder's; settings go to a scratch home.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
for program in vq8comm vq8ctl vq820-sim; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not on the PATH"
done
[ "$(vq8comm --version | head -n1)" = "VQ8 Comm Version 5.6" ] || fail "vq8comm --version"
[ "$(vq8ctl --version)" = "vq8ctl 5.6" ] || fail "vq8ctl --version"

for page in vq8ctl vq820-sim vq8comm; do
    path=$(man -w "$page")
    echo "$path"
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$path" >/dev/null 2>"$work/warnings"
    [ ! -s "$work/warnings" ] || fail "$page(1): $(cat "$work/warnings")"
done
man -P cat vq8ctl | grep -q 'vq8ctl ls \[FOLDER|PATTERN\]' || fail "vq8ctl(1) lacks the commands"

desktop-file-validate /usr/share/applications/vq8comm.desktop
appstreamcli validate --no-net "$(grep '/usr/share/metainfo/.*\.metainfo\.xml$' "$work/files")"
for size in 16 24 32 48 64 128 256; do
    file -b "/usr/share/icons/hicolor/${size}x${size}/apps/vq8comm.png" | grep -q "PNG image data, $size x $size" ||
        fail "no ${size}px icon"
done
[ -s /usr/share/icons/hicolor/scalable/apps/vq8comm.svg ] || fail "no scalable icon"

# shellcheck disable=SC2016
bash -c 'source /usr/share/bash-completion/completions/vq8ctl
         COMP_WORDS=(vq8ctl er); COMP_CWORD=1; _vq8ctl; [ "${COMPREPLY[*]}" = errors ]' ||
    fail "the completion does not complete commands"
mkdir -m 700 "$work/run"
XDG_RUNTIME_DIR=$work/run systemd-analyze verify --user /usr/lib/systemd/user/vq820-sim.service

# The installed emulator, talked to by the installed tool.
vq820-sim --port 0 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do
    grep -q '^listening on' "$work/sim.out" && break
    sleep 0.1
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$port" ] || fail "vq820-sim did not start: $(cat "$work/sim.out")"
vq8ctl --host 127.0.0.1 --port "$port" idn
vq8ctl --host 127.0.0.1 --port "$port" ls >"$work/ls.out"
cat "$work/ls.out"
grep -qx 'd 0 USER' "$work/ls.out" || fail "ls does not show the emulator's folders"
kill -TERM "$sim_pid"
wait "$sim_pid" || fail "vq820-sim did not end cleanly on SIGTERM"
sim_pid=""

apt-get purge -y -qq vq8comm >/dev/null
if dpkg-query -W -f='${Status}' vq8comm 2>/dev/null | grep -q installed; then
    fail "still installed after purge"
fi
# What stays is only a folder that holds others' files or that another package owns.
left=0
while read -r path; do
    if [ ! -e "$path" ] && [ ! -L "$path" ]; then continue; fi
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        if [ -n "$(ls -A "$path")" ] || dpkg -S "$path" >/dev/null 2>&1; then continue; fi
    fi
    echo "left after purge: $path" >&2
    left=1
done <"$work/files"
[ "$left" -eq 0 ] || fail "the purge left files behind"
echo "package check passed: installed, used, purged without a trace"
