#!/usr/bin/env bash
# A blind pupil's run: the real program under Orca, in Italian, on our own Xvfb, openbox, D-Bus
# session, accessibility bus and speech-dispatcher; orca_pupil.py plays by keyboard only and
# checks what Orca said (its debug file's SPEECH OUTPUT lines) at each step.
# Usage: e2e_orca.sh CALVENZA. Exit 77, with the reason, where Orca cannot run.
set -euo pipefail
calvenza=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
skip() { echo "SKIP: $*" && exit 77; }
for tool in dbus-run-session dbus-send Xvfb openbox xdotool xprop script orca speech-dispatcher \
    localedef pulseaudio pactl parecord sox pgrep ps "$python"; do
    command -v "$tool" >/dev/null || skip "manca $tool (bash scripts/deps.sh test)"
done
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || skip "manca $launcher (at-spi2-core)"
"$python" -c 'import pyatspi' 2>/dev/null || skip "manca python3-pyatspi"
[ -f /usr/share/i18n/locales/it_IT ] || skip "mancano le definizioni delle lingue (locales)"
# Orca will not start beside another Orca, wherever it runs.
others=$(pgrep -x orca | paste -sd ' ' || true)
[ -z "$others" ] || skip "un altro Orca è già in esecuzione (pid $others), e Orca non ne avvia un secondo"
[ -n "${CALVENZA_E2E_BUS:-}" ] || CALVENZA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/calvenza-orca.XXXXXX")
pids=()
stopped=()
stop_tree() { # what this script started, children first, by PID only
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do stop_tree "$child"; done
    kill "$1" 2>/dev/null && stopped+=("$1") || true
}
cleanup() {
    exec 2>/dev/null # speech-dispatcher may crash on its way out: nothing to report
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop_tree "${pids[$i]}"; done
    # Orca takes a few seconds to go, and the next run cannot start beside it.
    for pid in "${stopped[@]}"; do
        wait_for 100 sh -c "! kill -0 $pid" || kill -KILL "$pid" 2>/dev/null || true
    done
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
broken() { echo "FAIL: $*" && E2E_KEEP=1 && exit 1; }

# Everything Orca and speech-dispatcher write stays here, not in the user's home.
export HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/home/.config \
    XDG_CACHE_HOME=$tmp/home/.cache XDG_DATA_HOME=$tmp/data E2E_TMP=$tmp
mkdir -p "$HOME" "$XDG_DATA_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
# Italian without touching the system's locales.
mkdir -p "$tmp/locale"
localedef -i it_IT -f UTF-8 "$tmp/locale/it_IT.UTF-8" >"$tmp/localedef.log" 2>&1 \
    || [ -f "$tmp/locale/it_IT.UTF-8/LC_CTYPE" ] || skip "localedef: $(tail -1 "$tmp/localedef.log")"
italian=(env LOCPATH="$tmp/locale" LANG=it_IT.UTF-8 LANGUAGE=it LC_ALL=it_IT.UTF-8)

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 & pids+=($!)
export DISPLAY=":$n" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS
wait_for 100 test -e "/tmp/.X11-unix/X$n" || broken "Xvfb: $(cat "$tmp/xvfb.log")"
openbox --sm-disable >"$tmp/openbox.log" 2>&1 & pids+=($!)
wait_for 100 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || broken "openbox"
"$launcher" --launch-immediately >"$tmp/a11y-bus.log" 2>&1 & pids+=($!)
wait_for 100 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress || broken "no accessibility bus"
# Two null sinks: Orca's voice into one (a speech-dispatcher without sound stalls Orca), the
# program's into the other, recorded: under a screen reader the wizard must not be heard.
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=file:"$tmp/pulse.log" \
    -L module-native-protocol-unix -L "module-null-sink sink_name=reader" \
    -L "module-null-sink sink_name=wizard" >/dev/null 2>&1 & pids+=($!)
wait_for 100 pactl info || broken "PulseAudio: $(tail -3 "$tmp/pulse.log")"
pactl set-default-sink wizard
parecord --device=wizard.monitor --file-format=wav "$tmp/wizard.wav" &
recorder=$! && pids+=("$recorder")
wait_for 100 sh -c "[ \$(stat -c %s '$tmp/wizard.wav') -gt 4096 ]" || broken "parecord"
PULSE_SINK=reader speech-dispatcher -s -t 0 >"$tmp/speechd.log" 2>&1 & pids+=($!)
wait_for 100 test -S "$XDG_RUNTIME_DIR/speech-dispatcher/speechd.sock" \
    || broken "speech-dispatcher: $(tail -3 "$tmp/speechd.log")"
mkdir "$tmp/orca-prefs"
# Orca writes its debug file through a buffer; a terminal is written line by line, so its words
# are in the file as soon as it says them.
script -qfc "$(printf '%q ' "${italian[@]}" orca --debug-file=/dev/stdout -u "$tmp/orca-prefs")" \
    "$tmp/orca.log" >/dev/null 2>&1 </dev/null & pids+=($!)
# Orca greets in the language it will use for the rest of the run.
wait_for 300 grep -q "SPEECH OUTPUT: 'Lettore schermo attivo" "$tmp/orca.log" \
    || { grep -q "SPEECH OUTPUT" "$tmp/orca.log" 2>/dev/null \
        && broken "Orca does not speak Italian: $(grep -m3 'SPEECH OUTPUT' "$tmp/orca.log")"; \
        skip "Orca did not start here: $(tail -3 "$tmp/orca.log")"; }

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset CALVENZA_SILENT_AUDIO
fail=0
timeout 240 "${italian[@]}" "$python" "$here/orca_pupil.py" "$calvenza" "$tmp/orca.log" Giulia || fail=1
stop_tree "$recorder" && wait "$recorder" || true
peak=$(sox "$tmp/wizard.wav" -n stat 2>&1 | awk '/^Maximum amplitude/ {print $3}')
echo "the wizard's sink: peak ${peak:-?} over $(sox --i -D "$tmp/wizard.wav") s"
awk -v peak="${peak:-1}" 'BEGIN { exit !(peak < 0.01) }' \
    || { echo "FAIL: the wizard spoke over the screen reader"; fail=1; }
[ "$fail" = 0 ] && echo "e2e_orca: passed" || { E2E_KEEP=1; echo "e2e_orca: FAILED, files in $tmp"; }
exit "$fail"
