#!/usr/bin/env bash
# One whole run of the real program as a pupil plays it: Xvfb, openbox, a PulseAudio null sink and
# the accessibility bus, all our own. The pupil (pupil.py) plays the eight, then a short run of the
# seven; wrong --tabellina values must be refused before any window or sound.
# Usage: e2e_run.sh CALVENZA. Exit 77 when a tool is missing.
set -euo pipefail
calvenza=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3

skip() {
    echo "SKIP: $*"
    exit 77
}
for tool in dbus-run-session Xvfb openbox xdotool xev pulseaudio pactl parecord sox "$python"; do
    command -v "$tool" >/dev/null || skip "manca $tool (bash scripts/deps.sh test)"
done
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "manca at-spi-bus-launcher"
"$python" -c 'import pyatspi' 2>/dev/null || skip "manca python3-pyatspi"
if [ -z "${CALVENZA_E2E_BUS:-}" ]; then
    # Our own session bus, so the accessibility bus is ours alone.
    CALVENZA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/calvenza-e2e.XXXXXX")
pids=()
# Ends what this script started, children first, by PID only.
stop_tree() {
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do stop_tree "$child"; done
    kill "$1" 2>/dev/null || true
}
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop_tree "${pids[$i]}"; done
    wait 2>/dev/null || true
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
wait_for() { # tenths of a second, command...
    local tries=$1
    shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
# Wider than the window, so a box centred on the screen is far from one centred on the window.
Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$n" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS PULSE_SERVER CALVENZA_SILENT_AUDIO
wait_for 100 test -e "/tmp/.X11-unix/X$n" || skip "Xvfb non parte: $(cat "$tmp/xvfb.log")"
openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
pids+=($!)
wait_for 100 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || skip "openbox non parte"
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$tmp/atspi.log" 2>&1 &
pids+=($!)
wait_for 100 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    || skip "il bus dell'accessibilità non parte"

export XDG_RUNTIME_DIR=$tmp/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
# As root PulseAudio warns that it is not meant for root; it works all the same.
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=file:"$tmp/pulse.log" \
    -L module-native-protocol-unix -L "module-null-sink sink_name=capture" >/dev/null 2>&1 &
pids+=($!)
wait_for 100 pactl info || skip "PulseAudio non parte: $(tail -3 "$tmp/pulse.log")"
pactl set-default-sink capture
parecord --device=capture.monitor --latency-msec=20 --file-format=wav "$tmp/voice.wav" &
recorder=$!
pids+=("$recorder")

fail=0
# Wrong values: refused in Italian, status 2, no window mapped, no file; no sound is checked below,
# as the voice must not start before the first greeting is closed.
xev -root -event substructure -event property >"$tmp/xev.log" 2>&1 &
xev_pid=$!
pids+=("$xev_pid")
# Setting a root property until xev reports it shows that xev listens, later that it caught up.
xev_saw() {
    xprop -root -f _CALVENZA_E2E 8s -set _CALVENZA_E2E "$1"
    [ "$(grep -c PropertyNotify "$tmp/xev.log")" -ge "$1" ]
}
wait_for 100 xev_saw 1 || skip "xev non risponde"
for value in 11 sette; do
    status=0
    XDG_DATA_HOME=$tmp/refused timeout 10 "$calvenza" --tabellina "$value" >/dev/null 2>"$tmp/refused.err" || status=$?
    message=$(cat "$tmp/refused.err")
    echo "--tabellina $value: status $status, «$message»"
    [ "$status" = 2 ] || { echo "FAIL: --tabellina $value exits with $status, not 2"; fail=1; }
    # It names the accepted values, in Italian rather than Qt's English.
    grep -q 10 <<<"$message" && ! grep -qiE 'invalid|unknown|error|usage|value|option' <<<"$message" \
        || { echo "FAIL: --tabellina $value: no Italian message naming 1..10"; fail=1; }
done
wait_for 100 xev_saw "$(($(grep -c PropertyNotify "$tmp/xev.log") + 1))" || true
stop_tree "$xev_pid"
! grep -q MapNotify "$tmp/xev.log" || { echo "FAIL: a wrong --tabellina mapped a window"; fail=1; }
[ ! -e "$tmp/refused" ] || { echo "FAIL: a wrong --tabellina touched $tmp/refused"; fail=1; }

# The idle null sink holds back about 2 s of what the recorder should hear.
sleep 2
export XDG_DATA_HOME=$tmp/data QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 E2E_TMP=$tmp
records=$XDG_DATA_HOME/calvenza
timeout 240 "$python" "$here/pupil.py" "$calvenza" 8 Giulia || fail=1
cp "$records/atabkesr8.txt" "$records/ntabkesr8.txt" "$tmp/" 2>/dev/null || true
echo "recording_stopped $(date +%s.%N)" >>"$tmp/events"
stop_tree "$recorder"
timeout 120 "$python" "$here/pupil.py" "$calvenza" 7 Luca || fail=1
for f in atabkesr8.txt ntabkesr8.txt; do
    cmp -s "$tmp/$f" "$records/$f" || { echo "FAIL: the seven's run changed $f"; fail=1; }
done

# The voice, against the times the pupil noted: it starts with the balloon's first word, not
# before the greeting closes, goes on for the whole introduction, and is loud enough to hear.
wait "$recorder" 2>/dev/null || true
if [ -s "$tmp/voice.wav" ]; then
    total=$(sox --i -D "$tmp/voice.wav")
    sox "$tmp/voice.wav" "$tmp/voiced.wav" silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse
    voiced=$(sox --i -D "$tmp/voiced.wav" 2>/dev/null || echo 0)
    tail=$(sox "$tmp/voice.wav" -n reverse silence 1 0.02 0.5% stat 2>&1 | awk '/^Length/ {print $3}')
    rms=$(sox "$tmp/voiced.wav" -n stat 2>&1 | awk '/^RMS +amplitude/ {print $3}')
    echo "recorded ${total} s, voice ${voiced} s ending ${tail} s from the start, RMS ${rms}"
    awk -v total="$total" -v voiced="$voiced" -v tail="$tail" -v rms="${rms:-0}" '
        { t[$1] = $2 }
        END {
            # An idle null sink drops the start of a recording, never its end: count from there.
            t0 = t["recording_stopped"] - total
            g = t["greeting_closed_8"] - t0; w = t["first_word_8"] - t0; e = t["program_ended_8"] - t0
            onset = tail - voiced
            printf "greeting closed at %.2f s, first word at %.2f s, voice from %.2f s\n", g, w, onset
            if (onset < g) { print "FAIL: voice before the greeting was closed"; bad = 1 }
            if (onset < w - 1.5 || onset > w + 1.5) { print "FAIL: voice and balloon out of step"; bad = 1 }
            if (voiced < 15) { print "FAIL: the introduction was not heard whole"; bad = 1 }
            if ("program_ended_8" in t && tail > e + 1) { print "FAIL: voice after the program ended"; bad = 1 }
            if (rms < 0.01) { print "FAIL: voice too quiet"; bad = 1 }
            exit bad }' "$tmp/events" || fail=1
else
    echo "FAIL: nothing recorded at the null sink"
    fail=1
fi
[ "$fail" = 0 ] && echo "e2e: passed" || { E2E_KEEP=1; echo "e2e: FAILED, files in $tmp"; }
exit "$fail"
