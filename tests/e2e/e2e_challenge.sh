#!/usr/bin/env bash
# A whole challenge played by a scripted pupil on the real program under Xvfb with a window
# manager: name, right, wrong and empty answers, Exit stores the record, the next start shows it.
set -euo pipefail
calvenza=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${CALVENZA_E2E_BUS:-}" ]; then
    # Own session bus, so the accessibility bus is ours alone.
    CALVENZA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

display=:$((50 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
sleep 1

export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset AT_SPI_BUS_ADDRESS QT_QPA_PLATFORM
records=$XDG_DATA_HOME/calvenza

run() { # name plan expected-points expected-name
    "$calvenza" >"$work/calvenza.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    if ! timeout 120 /usr/bin/python3 "$here/pupil.py" "$@"; then
        import -window root "$work/failed.png" 2>/dev/null && cp "$work/failed.png" /tmp/calvenza-e2e-failed.png
        cat "$work/calvenza.log"
        return 1
    fi
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the program did not end after the farewell"
        return 1
    fi
}

run "Giulia" "right,wrong,empty,right,right" "" ""
[ "$(od -An -c "$records/atabkesr8.txt" | tr -s ' ')" = " 3 \r \n" ] || {
    echo "FAIL: points file"; od -c "$records/atabkesr8.txt"; exit 1; }
[ "$(cat "$records/ntabkesr8.txt")" = $'Giulia\r' ] || { echo "FAIL: name file"; exit 1; }

# The next pupil sees the record, does not beat it, and leaves it as it was.
run "Marco" "right,wrong" '3\r\n' 'Giulia\r\n'
[ "$(cat "$records/ntabkesr8.txt")" = $'Giulia\r' ] || { echo "FAIL: record overwritten"; exit 1; }
echo "e2e challenge: 1 passed, 0 failed"
