#!/usr/bin/env bash
# Scripted pupils play the real program under Xvfb with a window manager, reading it over the
# accessibility bus: a whole challenge and the record seen by the next pupil, a name of markup,
# a points file of garbage, a data directory that cannot be made, two instances ending at once.
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

export E2E_TMP XDG_RUNTIME_DIR=$E2E_TMP/run QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export CALVENZA_SILENT_AUDIO=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset AT_SPI_BUS_ADDRESS
failed=0
passed=0
for scenario in ${E2E_SCENARIOS:-challenge markup garbage unusable race}; do
    export XDG_DATA_HOME=$E2E_TMP/$scenario
    echo "-- $scenario"
    if timeout 300 /usr/bin/python3 "$here/pupil.py" "$scenario" "$calvenza" \
        "$XDG_DATA_HOME/calvenza"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        import -window root "/tmp/calvenza-e2e-$scenario.png" 2>/dev/null || true
        tail -n 20 "$E2E_TMP"/calvenza-*.log 2>/dev/null || true
    fi
    pkill -f "^$calvenza" 2>/dev/null || true
done
echo "e2e challenge: $passed passed, $failed failed"
[ "$failed" = 0 ]
