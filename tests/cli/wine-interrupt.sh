#!/usr/bin/env bash
# vq8ctl.exe under Wine, stopped by Ctrl+C in the middle of a get: Wine turns
# the SIGINT sent to a Windows process into its console's Ctrl+C event. The
# copy stops, its temporary file goes, the report is written, exit status
# 130; the emulator's program stops cleanly on its Ctrl+C too.
#   wine-interrupt.sh WINE_RUN VQ8CTL_EXE VQ820_SIM_EXE
# WINE_RUN is the build's wine-run.sh (CTest's emulator of a cross-build).
set -euo pipefail
run=$1 ctl=$2 sim=$3

work=$(mktemp -d)
sim_run=
get_run=
cleanup() {
    for pid in $get_run $sim_run; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "wine-interrupt: $*" >&2
    for f in "$work"/*.err; do
        [ -f "$f" ] && sed "s|^|$(basename "$f"): |" "$f" >&2
    done
    exit 1
}

# The Windows process that a wine-run.sh started (Wine's loader keeps its pid).
program_of() {
    local stat
    for stat in /proc/[0-9]*/stat; do
        read -r -a fields <"$stat" 2>/dev/null || continue
        [ "${fields[3]}" = "$1" ] && echo "${fields[0]}" && return 0
    done
    return 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$until" ] || return 1
        sleep 0.2
    done
}

mkdir -p "$work/root/USER" "$work/pc"
# 8 MB: half a minute at the engine's pace, so Ctrl+C comes well inside it.
head -c 8000000 /dev/urandom >"$work/root/USER/BIG.BIN"
win_root=$("$run" winepath -w "$work/root" | tr -d '\r')
win_pc=$("$run" winepath -w "$work/pc" | tr -d '\r')
win_report=$("$run" winepath -w "$work/report.json" | tr -d '\r')

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }
for _ in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 40000))
    listening && continue
    "$run" "$sim" --port "$port" --root "$win_root" >"$work/sim.out" 2>"$work/sim.err" &
    sim_run=$!
    wait_for 60 listening && break
    kill "$sim_run" 2>/dev/null || true
    sim_run=
done
[ -n "$sim_run" ] || fail "the emulator did not listen"

"$run" "$ctl" --host 127.0.0.1 --port "$port" --report "$win_report" get USER/BIG.BIN "$win_pc" \
    >"$work/get.out" 2>"$work/get.err" &
get_run=$!
temporary() { compgen -G "$work/pc/BIG.BIN.*" >/dev/null; }
wait_for 60 temporary || fail "no temporary file appeared"
program=$(program_of "$get_run") || fail "vq8ctl.exe not found"
kill -INT "$program"
status=0
wait "$get_run" || status=$?
get_run=
[ "$status" = 130 ] || fail "exit status $status, not 130"
[ -z "$(ls -A "$work/pc")" ] || fail "left in the PC folder: $(ls -A "$work/pc")"
tr -d '\r' <"$work/get.err" | tail -n 1 | grep -qx 'vq8ctl: interrupted' || fail "no \"interrupted\" at the end"
grep -q 'cut short after' "$work/get.err" || fail "the report of the file is missing"
grep -q '"status": 130' "$work/report.json" || fail "the report file does not say 130"

kill -INT "$(program_of "$sim_run")"
status=0
wait "$sim_run" || status=$?
sim_run=
[ "$status" = 0 ] || fail "the emulator ended with $status on Ctrl+C"
echo "wine-interrupt: Ctrl+C stopped vq8ctl.exe (130, no file left, report written) and vq820-sim.exe (0)"
