#!/usr/bin/env bash
# A whole challenge played by a scripted pupil on the real program under Xvfb with a window
# manager: name, right, wrong and empty answers, Exit stores the record, the next start shows it.
set -euo pipefail
calvenza=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)

command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session missing"; exit "${E2E_SKIP_CODE:-0}"; }
if [ -z "${CALVENZA_E2E_BUS:-}" ]; then
    # Own session bus, so the accessibility bus is ours alone.
    CALVENZA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

source "$here/lib.sh"
e2e_init
e2e_need Xvfb openbox xdotool import /usr/bin/python3
[ -x /usr/libexec/at-spi-bus-launcher ] || e2e_skip "at-spi-bus-launcher missing"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || e2e_skip "python3-pyatspi missing"
e2e_start_x --wm || e2e_skip "Xvfb did not start"
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_TMP/atspi.log" 2>&1 &
E2E_PIDS+=($!)
sleep 1

export XDG_DATA_HOME=$E2E_TMP/data XDG_RUNTIME_DIR=$E2E_TMP/run QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export CALVENZA_SILENT_AUDIO=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset AT_SPI_BUS_ADDRESS
records=$XDG_DATA_HOME/calvenza

run() { # name plan expected-points expected-name
    "$calvenza" >"$E2E_TMP/calvenza.log" 2>&1 &
    local pid=$!
    E2E_PIDS+=("$pid")
    if ! timeout 120 /usr/bin/python3 "$here/pupil.py" "$@"; then
        import -window root "$E2E_TMP/failed.png" 2>/dev/null \
            && cp "$E2E_TMP/failed.png" /tmp/calvenza-e2e-failed.png
        cat "$E2E_TMP/calvenza.log"
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
