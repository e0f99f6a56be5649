#!/usr/bin/env bash
# The real program as a pupil plays it, under our own Xvfb, openbox, PulseAudio null sink and
# accessibility bus: wrong --tabellina values are refused, pupil.py plays the eight whole and a
# short run of the seven, and the voice recorded at the sink is checked against what he noted.
# Usage: e2e_run.sh CALVENZA [SCRIPT.py]: with a script, it plays instead in the same setting.
# Exit 77 when a tool is missing.
set -euo pipefail
calvenza=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
for tool in dbus-run-session Xvfb openbox xdotool xprop xev pulseaudio pactl parecord sox import ps "$python"; do
    command -v "$tool" >/dev/null || { echo "SKIP: manca $tool (bash scripts/deps.sh test)"; exit 77; }
done
"$python" -c 'import pyatspi' 2>/dev/null || { echo "SKIP: manca python3-pyatspi"; exit 77; }
# Our own session bus, so the accessibility bus it starts is ours alone.
[ -n "${CALVENZA_E2E_BUS:-}" ] || CALVENZA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/calvenza-e2e.XXXXXX")
pids=()
stop_tree() { # what this script started, children first, by PID only
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do stop_tree "$child"; done
    kill "$1" 2>/dev/null || true
}
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop_tree "${pids[$i]}"; done
    wait 2>/dev/null || true
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$tmp"
}
trap cleanup EXIT && trap 'exit 130' INT TERM
wait_for() { # tenths of a second, command...
    local tries=$1
    shift
    until "$@" >/dev/null 2>&1; do
        [ $((tries -= 1)) -gt 0 ] && sleep 0.1 || return 1
    done
}
broken() { echo "FAIL: $*" && exit 1; }

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
# Wider than the window, so a box centred on the screen is far from one centred on the window.
Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 & pids+=($!)
export DISPLAY=":$n" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$tmp/run
unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS PULSE_SERVER CALVENZA_SILENT_AUDIO
wait_for 100 test -e "/tmp/.X11-unix/X$n" || broken "Xvfb: $(cat "$tmp/xvfb.log")"
openbox --sm-disable >"$tmp/openbox.log" 2>&1 & wm=$! && pids+=("$wm")
wait_for 100 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || broken "openbox"
# The accessibility bus's socket goes under our own runtime folder, not one that another run
# on this machine shares.
mkdir -m 700 "$XDG_RUNTIME_DIR"
dbus-update-activation-environment XDG_RUNTIME_DIR
wait_for 100 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress || broken "no accessibility bus"
# As root PulseAudio warns that it is not meant for root; it works all the same.
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=file:"$tmp/pulse.log" \
    -L module-native-protocol-unix -L "module-null-sink sink_name=capture" >/dev/null 2>&1 & pids+=($!)
wait_for 100 pactl info || broken "PulseAudio: $(tail -3 "$tmp/pulse.log")"
pactl set-default-sink capture
parecord --device=capture.monitor --latency-msec=20 --file-format=wav "$tmp/voice.wav" &
recorder=$! && pids+=("$recorder")
# The sink sends nothing for a while after connecting; what it plays meanwhile is lost.
wait_for 100 sh -c "[ \$(stat -c %s '$tmp/voice.wav') -gt 4096 ]" || broken "parecord"
if [ -n "${2:-}" ]; then
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 E2E_TMP=$tmp PGCLUSTER_SCRIPT=$here/../school/pgcluster.sh
    timeout 400 "$python" "$here/$2" "$calvenza" && exit 0
    E2E_KEEP=1 && echo "e2e: FAILED, files in $tmp" && exit 1
fi

fail=0
# Wrong values: status 2, an Italian message naming 1..10, no window mapped, no file made. That
# they play no sound is checked below: the voice must not start before the greeting is closed.
xev -root -event substructure -event property >"$tmp/xev.log" 2>&1 & pids+=($!)
xev_saw() { # sets a root property until xev has logged $1 such changes: it listens, or caught up
    xprop -root -f _CALVENZA_E2E 8s -set _CALVENZA_E2E "$1"
    [ "$(grep -c PropertyNotify "$tmp/xev.log")" -ge "$1" ]
}
wait_for 100 xev_saw 1 || broken "xev"
for value in 11 sette; do
    status=0
    XDG_DATA_HOME=$tmp/refused timeout 10 "$calvenza" --tabellina "$value" >/dev/null \
        2>"$tmp/refused.err" || status=$?
    message=$(cat "$tmp/refused.err") && echo "--tabellina $value: status $status, «$message»"
    [ "$status" = 2 ] || { echo "FAIL: --tabellina $value exits with $status, not 2"; fail=1; }
    grep -q 10 <<<"$message" && ! grep -qiE 'invalid|unknown|error|usage|value|option' <<<"$message" \
        || { echo "FAIL: --tabellina $value: no Italian message naming 1..10"; fail=1; }
done
wait_for 100 xev_saw "$(($(grep -c PropertyNotify "$tmp/xev.log") + 1))" || broken "xev"
! grep -q MapNotify "$tmp/xev.log" || { echo "FAIL: a wrong --tabellina mapped a window"; fail=1; }
[ ! -e "$tmp/refused" ] || { echo "FAIL: a wrong --tabellina made $tmp/refused"; fail=1; }

export XDG_DATA_HOME=$tmp/data QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 E2E_TMP=$tmp
records=$XDG_DATA_HOME/calvenza
timeout 240 "$python" "$here/pupil.py" "$calvenza" 8 Giulia || fail=1
echo "recording_stopped $(date +%s.%N)" >>"$tmp/events"
stop_tree "$recorder"
cp "$records/atabkesr8.txt" "$records/ntabkesr8.txt" "$tmp/" || fail=1
timeout 120 "$python" "$here/pupil.py" "$calvenza" 7 Luca || fail=1
for f in atabkesr8.txt ntabkesr8.txt; do
    cmp "$tmp/$f" "$records/$f" || { echo "FAIL: the seven's run changed $f"; fail=1; }
done
# Without a window manager the clock's farewell, opened by a timer, must still take Enter: a
# short challenge on the six, two right answers, then the boxes; pupil.py checks the record.
stop_tree "$wm"
xprop -root -remove _NET_SUPPORTED -remove _NET_SUPPORTING_WM_CHECK
CALVENZA_CHALLENGE_SECONDS=15 timeout 120 "$python" "$here/pupil.py" "$calvenza" 6 Marta || fail=1

# Every answer of those runs is in the history: the teacher's export has them, and a pupil's
# picture opens on its own.
timeout 30 "$calvenza" --esporta "$tmp/risposte.csv" || { echo "FAIL: --esporta"; fail=1; }
for pupil in Giulia Luca Marta; do
    n=$(grep -c "^$pupil;.*;sfida;" "$tmp/risposte.csv" || true)
    echo "exported answers of $pupil: $n"
    [ "$n" -gt 0 ] || { echo "FAIL: no answer of $pupil exported"; fail=1; }
done
[ "$(grep -c "^Marta;.*;sì;" "$tmp/risposte.csv")" = 2 ] || { echo "FAIL: Marta's 2 right"; fail=1; }
"$calvenza" --progressi giulia >"$tmp/progressi.log" 2>&1 & picture=$! && pids+=("$picture")
wait_for 100 xdotool search --name '^La tavola pitagorica di Giulia$' ||
    { echo "FAIL: the picture did not open"; fail=1; }
import -window root "$tmp/progressi.png" && stop_tree "$picture"

# The voice starts with the balloon's first word, after the greeting is closed, goes on at least
# for the introduction, ends with the program and is loud enough to hear.
total=$(sox --i -D "$tmp/voice.wav")
sox "$tmp/voice.wav" "$tmp/voiced.wav" silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse || true
voiced=$(sox --i -D "$tmp/voiced.wav" 2>/dev/null || echo 0)
end=$(sox "$tmp/voice.wav" -n reverse silence 1 0.02 0.5% stat 2>&1 | awk '/^Length/ {print $3}')
rms=$(sox "$tmp/voiced.wav" -n stat 2>&1 | awk '/^RMS +amplitude/ {print $3}')
echo "recorded ${total} s, voice ${voiced} s ending at ${end} s, RMS ${rms}"
awk -v total="$total" -v voiced="$voiced" -v end="$end" -v rms="${rms:-0}" '{ t[$1] = $2 } END {
    # An idle null sink drops the start of a recording, never its end: count from there.
    t0 = t["recording_stopped"] - total; onset = end - voiced
    ended = "program_ended_8" in t; e = t["program_ended_8"] - t0
    g = t["greeting_closed_8"] - t0; w = t["first_word_8"] - t0
    printf "greeting closed at %.2f s, first word at %.2f s, voice from %.2f s\n", g, w, onset
    if (onset < g) { print "FAIL: voice before the greeting was closed"; bad = 1 }
    if (onset < w - 1.5 || onset > w + 1.5) { print "FAIL: voice and balloon out of step"; bad = 1 }
    if (voiced < 15) { print "FAIL: the introduction was not heard whole"; bad = 1 }
    if (ended && end > e + 1) { print "FAIL: voice after the program ended"; bad = 1 }
    if (rms < 0.01) { print "FAIL: voice too quiet"; bad = 1 }
    exit bad }' "$tmp/events" || fail=1
[ "$fail" = 0 ] && echo "e2e: passed" || { E2E_KEEP=1; echo "e2e: FAILED, files in $tmp"; }
exit "$fail"
