#!/usr/bin/env bash
# Two machines and the school's server: two_machines.py under our own Xvfb, openbox and
# accessibility bus, inside the throwaway cluster that runs this script:
#   pgcluster.sh run calvenza-scuola.sql bash e2e_school.sh CALVENZA. Exit 77 when a tool is missing.
set -euo pipefail
calvenza=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
for tool in dbus-run-session Xvfb openbox xdotool xprop import; do
    command -v "$tool" >/dev/null || { echo "SKIP: manca $tool (bash scripts/deps.sh test)"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: manca python3-pyatspi"; exit 77; }
[ -n "${CALVENZA_E2E_BUS:-}" ] || CALVENZA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/calvenza-e2e-school.XXXXXX")
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$tmp"
}
trap cleanup EXIT && trap 'exit 130' INT TERM
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp -noreset >/dev/null 2>&1 & pids+=($!)
export DISPLAY=":$n" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$tmp/run
unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
openbox --sm-disable >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
mkdir -m 700 "$XDG_RUNTIME_DIR"
dbus-update-activation-environment XDG_RUNTIME_DIR
export CALVENZA_SILENT_AUDIO=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 E2E_TMP=$tmp \
    PGCLUSTER_SCRIPT=$here/../school/pgcluster.sh
timeout 400 /usr/bin/python3 "$here/two_machines.py" "$calvenza" || { E2E_KEEP=1; echo "e2e_school: FAILED, files in $tmp"; exit 1; }
echo "e2e_school: passed"
