# Helpers for end-to-end runs; source it, do not run it.
#   e2e_init                     temp dir in $E2E_TMP, cleanup on exit
#   e2e_need TOOL...             skips the test (exit 0, "SKIP: ...") when a tool is missing
#   e2e_start_x [--wm]           Xvfb on a free display (exports DISPLAY), openbox with --wm
#   e2e_start_pulse              PulseAudio with a null sink "capture" as default (returns 1 if
#                                it cannot start; the caller decides whether to skip)
#   e2e_record_start FILE        records the sink's monitor into FILE (waits 2.5 s for the sink)
#   e2e_record_stop
#   e2e_wav_seconds FILE         length of a WAV in seconds
#   e2e_wav_rms FILE             RMS amplitude (0..1) of a WAV
#   e2e_sound_seconds FILE       length of the sound in a WAV, silence at both ends trimmed
#   e2e_cleanup                  stops whatever was started (also run on exit)
# Set E2E_SKIP_CODE to make skips exit with a code of your choice (default 0).

E2E_PIDS=()
E2E_TMP=""
E2E_PULSE=0
E2E_RECORDER=""

e2e_log() { echo "[e2e] $*" >&2; }

e2e_skip() {
    echo "SKIP: $*"
    exit "${E2E_SKIP_CODE:-0}"
}

e2e_init() {
    E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/calvenza-e2e.XXXXXX")
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
}

e2e_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 \
            || e2e_skip "manca '$tool' (bash scripts/deps.sh test lo installa)"
    done
}

# Waits up to $2 tenths of a second for the command $1 to succeed.
e2e_wait_for() {
    local tries=$2
    while ! eval "$1" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -le 0 ] && return 1
        sleep 0.1
    done
}

e2e_start_x() {
    e2e_need Xvfb
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    export DISPLAY=":$n"
    if ! e2e_wait_for "[ -e /tmp/.X11-unix/X$n ]" 100; then
        e2e_log "Xvfb did not start: $(cat "$E2E_TMP/xvfb.log")"
        return 1
    fi
    unset WAYLAND_DISPLAY
    export QT_QPA_PLATFORM=xcb
    e2e_log "Xvfb on $DISPLAY"
    if [ "${1:-}" = --wm ]; then
        if ! command -v openbox >/dev/null 2>&1; then
            e2e_log "openbox missing: running without a window manager"
            return 0
        fi
        openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
        E2E_PIDS+=($!)
        if command -v xprop >/dev/null 2>&1; then
            e2e_wait_for "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" 50 \
                || e2e_log "openbox did not announce itself"
        else
            sleep 1
        fi
    fi
}

e2e_start_pulse() {
    if ! command -v pulseaudio >/dev/null 2>&1 || ! command -v pactl >/dev/null 2>&1; then
        e2e_log "pulseaudio/pactl missing"
        return 1
    fi
    export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset PULSE_SERVER
    # Root gets a warning that PulseAudio is not meant for it; it works all the same.
    pulseaudio -D --exit-idle-time=-1 --disallow-exit --log-target=file:"$E2E_TMP/pulse.log" \
        >/dev/null 2>&1 || true
    if ! e2e_wait_for "pactl info" 50; then
        e2e_log "PulseAudio did not start: $(tail -3 "$E2E_TMP/pulse.log" 2>/dev/null)"
        return 1
    fi
    E2E_PULSE=1
    pactl load-module module-null-sink sink_name=capture >/dev/null
    pactl set-default-sink capture
    e2e_log "PulseAudio with null sink 'capture' in $XDG_RUNTIME_DIR"
}

e2e_record_start() {
    e2e_need parecord
    parecord --device=capture.monitor --latency-msec=20 --file-format=wav "$1" &
    E2E_RECORDER=$!
    # An idle null sink holds back about 2 s: anything sooner would be lost.
    sleep 2.5
}

e2e_record_stop() {
    [ -n "$E2E_RECORDER" ] || return 0
    kill -INT "$E2E_RECORDER" 2>/dev/null || true
    wait "$E2E_RECORDER" 2>/dev/null || true
    E2E_RECORDER=""
}

e2e_wav_seconds() {
    sox --i -D "$1"
}

e2e_wav_rms() {
    sox "$1" -n stat 2>&1 | awk '/^RMS[ ]+amplitude/ {print $3}'
}

e2e_sound_seconds() {
    local trimmed="$E2E_TMP/trimmed.$$.wav"
    sox "$1" "$trimmed" silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse 2>/dev/null
    if [ -s "$trimmed" ]; then
        sox --i -D "$trimmed"
    else
        echo 0
    fi
    rm -f "$trimmed"
}

e2e_cleanup() {
    e2e_record_stop
    if [ "$E2E_PULSE" = 1 ]; then
        pulseaudio --kill >/dev/null 2>&1 || true
        E2E_PULSE=0
    fi
    local pid
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[$i]}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    E2E_PIDS=()
    if [ -n "$E2E_TMP" ] && [ -d "$E2E_TMP" ] && [ -z "${E2E_KEEP:-}" ]; then
        rm -rf "$E2E_TMP"
    fi
}
