# Sourced by the scripts that run an installed Windows folder under Wine
# (check-windows-folder.sh, check-msi.sh, scripts/windows-roundtrip.sh).
# shellcheck shell=bash

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
# shellcheck disable=SC2034 # for the scripts that source this
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# Starts FOLDER's vq820-sim.exe on an ephemeral loopback port with ARGS, its
# output to LOG, and waits until it listens: sets emulator_pid and emulator_port.
start_emulator() {
    local folder=$1 log=$2
    shift 2
    (cd "$folder" && exec "$wine" vq820-sim.exe --port 0 "$@") >"$log" 2>&1 &
    emulator_pid=$!
    for _ in $(seq 150); do
        grep -q '^listening on ' "$log" && break
        sleep 0.2
    done
    emulator_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
    if [ -z "$emulator_port" ]; then
        echo "vq820-sim.exe did not start: $(cat "$log")" >&2
        return 1
    fi
}

stop_emulator() {
    kill "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
}

# FOLDER's vq8ctl.exe lists the first-level folders of FOLDER's emulator;
# WORK holds the outputs. Prints how many entries it listed.
tool_lists_emulator() {
    local folder=$1 work=$2
    start_emulator "$folder" "$work/sim.out" || return 1
    if ! (cd "$folder" && "$wine" vq8ctl.exe --host 127.0.0.1 --port "$emulator_port" ls) >"$work/ls.out" 2>&1 ||
        ! grep -q '^d 0 SIGNAL' "$work/ls.out"; then
        stop_emulator
        echo "vq8ctl.exe ls: $(cat "$work/ls.out")" >&2
        return 1
    fi
    stop_emulator
    tr -d '\r' <"$work/ls.out" | wc -l
}
