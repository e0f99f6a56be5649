#!/usr/bin/env bash
# Start-up and memory of the real program against the floor program, on the current X display
# (a window manager must be running so the boxes take the keyboard). Prints bench-row lines.
# Usage: bench/startup.sh BUILD_DIR [RUNS]
#
# "Painted" comes from the programs themselves: with CALVENZA_PAINT_LOG set they print the wall
# clock when a window's first paint pass has been drawn and flushed, and when it is hidden. The
# start is taken just before the process is launched. The pupil's own time in front of a box
# (typing, reading) is left out: only the program's work counts.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
app=$build/src/calvenza
floor=$build/bench/bench_floor_window
for exe in "$app" "$floor"; do
    [ -x "$exe" ] || { echo "startup.sh: $exe is missing" >&2; exit 1; }
done

work=$(mktemp -d)
listener=""
trap '[ -n "$listener" ] && kill "$listener"; rm -rf "$work"' EXIT
export CALVENZA_PAINT_LOG=1 CALVENZA_SILENT_AUDIO=1 XDG_DATA_HOME=$work/data

# While a program starts, this script forks nothing: a grep or a sleep every few milliseconds
# would take a core from the program measured. Pauses are reads with a time-out on a FIFO that
# nobody writes; the clock is bash's own.
mkfifo "$work/idle"
exec {idle}<>"$work/idle"
pause() { read -r -t "$1" -u "$idle" _ || true; }

# Waits until the log holds COUNT lines containing TEXT; fails after 20 s.
wait_for() {
    local log=$1 text=$2 count=${3:-1} i found line
    local -a lines
    for ((i = 0; i < 10000; i++)); do
        found=0
        if [ -f "$log" ]; then
            mapfile -t lines <"$log"
            for line in "${lines[@]}"; do
                [[ $line == *"$text"* ]] && found=$((found + 1))
            done
        fi
        [ "$found" -ge "$count" ] && return 0
        pause 0.002
    done
    echo "startup.sh: no '$text' (x$count) in $log" >&2
    return 1
}

# The wall clock of the COUNT-th line matching "EVENT NAME".
stamp() { grep -- " $2 $3\$" "$1" | sed -n "${4:-1}p" | awk '{print $2}'; }

# Waits for PID to end by itself; kills it after 20 s.
wait_exit() {
    local pid=$1 i
    for ((i = 0; i < 2000; i++)); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
        sleep 0.01
    done
    kill "$pid"
    wait "$pid" || true
    echo "startup.sh: process $pid did not end" >&2
    return 1
}

median() { sort -n | awk '{v[NR] = $1} END {if (NR) print v[int((NR + 1) / 2)]; else print 0}'; }

# Waits until the window manager has given the keyboard to a window of process PID or of its
# child (the program under /usr/bin/time): keys typed before then reach no box, and the run
# would wait for ever. Fails after 5 s.
wait_keyboard() {
    local pid=$1 i owner
    for ((i = 0; i < 500; i++)); do
        owner=$(xdotool getactivewindow getwindowpid 2>/dev/null || true)
        if [ -n "$owner" ]; then
            [ "$owner" = "$pid" ] && return 0
            [ "$(ps -o ppid= -p "$owner" | tr -d ' ')" = "$pid" ] && return 0
        fi
        sleep 0.01
    done
    echo "startup.sh: process $pid never got the keyboard" >&2
    return 1
}

# Answers the two start-up boxes of process PID as the pupil does.
answer_boxes() {
    local log=$1 pid=$2
    wait_for "$log" 'painted inputBox'
    wait_keyboard "$pid"
    xdotool type --delay 20 Bench
    xdotool key Return
    wait_for "$log" 'painted messageBox'
    # Half a second to read the greeting: a child takes longer. The program may use that time
    # (it prepares its window then); the time itself is left out of (b).
    sleep 0.5
    xdotool key Return
}

# The program's own time from the name accepted to WINDOW painted, the box in between left out.
boxes_to_window() {
    local log=$1 window=$2
    local accepted box_shown box_closed shown
    accepted=$(stamp "$log" hidden inputBox)
    box_shown=$(stamp "$log" painted messageBox)
    box_closed=$(stamp "$log" hidden messageBox)
    shown=$(stamp "$log" painted "$window")
    echo $(((box_shown - accepted) + (shown - box_closed)))
}

# (a) and (b) on the program, appended to a_SUFFIX and b_SUFFIX; it is then closed with its
# farewell. Usage: run_app SUFFIX [VAR=VALUE...]
run_app() {
    local suffix=$1 log=$work/app.log start pid
    shift
    rm -rf "$work/data"
    : >"$log" # the last run's lines must not be read as this one's
    start=${EPOCHREALTIME/./}000
    # Started as the floor is: one fork, one exec.
    (
        [ $# -gt 0 ] && export "$@"
        exec "$app"
    ) 2>"$log" >/dev/null &
    pid=$!
    answer_boxes "$log" "$pid"
    wait_for "$log" 'painted Tavola'
    echo $(($(stamp "$log" painted inputBox) - start)) >>"$work/a_$suffix"
    boxes_to_window "$log" Tavola >>"$work/b_$suffix"
    xdotool key alt+x
    wait_for "$log" 'painted messageBox' 2
    xdotool key Return
    wait_exit "$pid"
}

# A school's server that takes the connection and never answers: the program's sender and
# nothing else may wait for it.
python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(64)
print(s.getsockname()[1], flush=True); time.sleep(3600)' >"$work/listener.port" &
listener=$!
for ((i = 0; i < 100; i++)); do [ -s "$work/listener.port" ] && break; sleep 0.05; done
printf '[calvenza]\nhost=127.0.0.1\nport=%s\ndbname=calvenza\n' "$(cat "$work/listener.port")" \
    >"$work/pg_service.conf"

: >"$work/a_app" >"$work/a_floor" >"$work/a_floortext" >"$work/b_app" >"$work/b_floor" >"$work/a_school" >"$work/b_school"
for ((run = 0; run < runs; run++)); do
    run_app app
    run_app school PGSERVICEFILE="$work/pg_service.conf"

    # (a) on the floor: a bare window.
    log=$work/floor.log
    : >"$log" # the last run's lines must not be read as this one's
    start=${EPOCHREALTIME/./}000
    "$floor" 2>"$log" >/dev/null &
    pid=$!
    wait_for "$log" 'painted floorWindow'
    echo $(($(stamp "$log" painted floorWindow) - start)) >>"$work/a_floor"
    wait_exit "$pid"

    # (a) on the same window showing one line of text: what words alone cost.
    : >"$log" # the last run's lines must not be read as this one's
    start=${EPOCHREALTIME/./}000
    "$floor" --text 2>"$log" >/dev/null &
    pid=$!
    wait_for "$log" 'painted floorWindow'
    echo $(($(stamp "$log" painted floorWindow) - start)) >>"$work/a_floortext"
    wait_exit "$pid"

    # (b) on the floor: the same two boxes, then the bare window.
    log=$work/floorboxes.log
    : >"$log"
    "$floor" --boxes 2>"$log" >/dev/null &
    pid=$!
    answer_boxes "$log" "$pid"
    wait_for "$log" 'painted floorWindow'
    boxes_to_window "$log" floorWindow >>"$work/b_floor"
    wait_exit "$pid"
done

# ratio_row MEASURE APP_TIMES FLOOR_TIMES TARGET_RATIO
ratio_row() {
    local measure=$1 app_ns floor_ns
    app_ns=$(median <"$2")
    floor_ns=$(median <"$3")
    awk -v m="$measure" -v a="$app_ns" -v f="$floor_ns" -v n="$runs" -v t="$4" 'BEGIN {
        r = (f > 0) ? a / f : 0
        printf "bench-row\t%s (median of %d)\t%.1f ms = %.2fx floor\tfloor %.1f ms; target <= %sx\t%s\n",
            m, n, a / 1e6, r, f / 1e6, t, (r > 0 && r <= t) ? "ok" : "MISSED"
    }'
}
ratio_row "start-up (a): process start to name box painted" "$work/a_app" "$work/a_floor" 1.2
# Not a target: the share of (a) that any first window with words pays.
awk -v t="$(median <"$work/a_floortext")" -v f="$(median <"$work/a_floor")" \
    -v a="$(median <"$work/a_app")" -v n="$runs" 'BEGIN {
    printf "bench-row\tstart-up (a) of a bare window showing one line of text (median of %d)\t%.1f ms = %.2fx floor\tthe name box %.2fx this\treported\n",
        n, t / 1e6, (f > 0) ? t / f : 0, (t > 0) ? a / t : 0
}'
ratio_row "start-up (b): name accepted to main window painted, pupil's time left out" \
    "$work/b_app" "$work/b_floor" 1.5
# The same program with a school's server configured that never answers, against itself without.
for part in a b; do
    awk -v p="$part" -v s="$(median <"$work/${part}_school")" -v a="$(median <"$work/${part}_app")" \
        -v n="$runs" 'BEGIN {
        printf "bench-row\tstart-up (%s) with a school server configured that never answers (median of %d)\t%.1f ms\twithout a server %.1f ms; target <= +10%%\t%s\n",
            p, n, s / 1e6, a / 1e6, (s <= a * 1.1) ? "ok" : "MISSED"
    }'
done

# Peak memory of a whole run: name, five exercises answered, farewell.
rm -rf "$work/data"
log=$work/rss.log
/usr/bin/time -f '%M' -o "$work/rss_app" "$app" 2>"$log" >/dev/null &
pid=$!
answer_boxes "$log" "$pid"
wait_for "$log" 'painted Tavola'
for ((i = 0; i < 5; i++)); do
    sleep 0.3
    xdotool type --delay 20 "$((8 * (i + 1)))"
    xdotool key Return
    sleep 0.3
    xdotool key alt+n
done
xdotool key alt+x
wait_for "$log" 'painted messageBox' 2
xdotool key Return
# A beaten record adds one more box.
sleep 0.5
if [ "$(grep -c 'painted messageBox' "$log")" -ge 3 ]; then xdotool key Return; fi
completed=ok
wait_exit "$pid" || completed=failed
/usr/bin/time -f '%M' -o "$work/rss_floor" "$floor" 2>/dev/null >/dev/null
app_kb=$(tail -n1 "$work/rss_app")
floor_kb=$(tail -n1 "$work/rss_floor")
awk -v a="$app_kb" -v f="$floor_kb" -v c="$completed" 'BEGIN {
    printf "bench-row\tpeak resident memory, whole scripted run (max RSS)\t%.1f MB\tfloor %.1f MB; target <= 60 MB\t%s\n",
        a / 1024, f / 1024, (c == "ok" && a / 1024 <= 60) ? "ok" : "MISSED"
}'
