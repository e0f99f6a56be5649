#!/usr/bin/env bash
# Runs every benchmark of a build and prints one markdown table; writes it, with the machine it
# ran on, to docs/performance.md. Starts Xvfb and openbox when there is no display, so windows
# are really painted. Usage: bench/run_all.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
[ -d "$build/bench" ] || { echo "run_all.sh: no benchmarks in $build (build it first)" >&2; exit 1; }

pids=()
pulse_dir=""
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    if [ -n "$pulse_dir" ]; then
        XDG_RUNTIME_DIR=$pulse_dir pulseaudio --kill >/dev/null 2>&1 || true
        rm -rf "$pulse_dir"
    fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
    # The boxes need a window manager to receive the keyboard.
    openbox >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
fi
export CALVENZA_SILENT_AUDIO=1

# The voice is measured at a sound server of our own: a PulseAudio null sink.
if command -v pulseaudio >/dev/null 2>&1 && command -v pactl >/dev/null 2>&1; then
    pulse_dir=$(mktemp -d)
    chmod 700 "$pulse_dir"
    export XDG_RUNTIME_DIR=$pulse_dir
    unset PULSE_SERVER
    pulseaudio -D --exit-idle-time=-1 --disallow-exit >/dev/null 2>&1 || true
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pactl load-module module-null-sink sink_name=capture >/dev/null 2>&1 \
        && pactl set-default-sink capture || echo "run_all.sh: no sound server, voice unmeasured" >&2
fi
voiced=" bench_enter_to_sound bench_speechstart bench_voicestall bench_school_faults "

rows=$(mktemp)
failed=0
for exe in "$build"/bench/bench_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    name=$(basename "$exe")
    # The floor is a helper of startup.sh, not a benchmark of its own.
    [ "$name" = bench_floor_window ] && continue
    echo "== $name" >&2
    run=("$exe")
    [[ $voiced == *" $name "* ]] && run=(env -u CALVENZA_SILENT_AUDIO "$exe")
    if ! timeout 600 "${run[@]}" >"$rows.out" 2>"$rows.err"; then
        echo "run_all.sh: $name failed" >&2
        cat "$rows.err" >&2
        printf 'bench-row\t%s\tdid not run\t-\tFAILED\n' "$name" >>"$rows"
        failed=1
    fi
    grep '^bench-row' "$rows.out" >>"$rows" || true
done
echo "== startup.sh" >&2
# Fifteen runs: on a shared machine the floor alone moves by a third between runs of five.
if ! bash bench/startup.sh "$build" 15 >"$rows.out"; then
    printf 'bench-row\tstart-up and memory (startup.sh)\tdid not run\t-\tFAILED\n' >>"$rows"
    failed=1
fi
grep '^bench-row' "$rows.out" >>"$rows" || true

table=$(
    echo "| measure | figure | floor or target | verdict |"
    echo "|---|---|---|---|"
    awk -F'\t' '{printf "| %s | %s | %s | %s |\n", $2, $3, $4, $5}' "$rows"
)
rm -f "$rows" "$rows.out" "$rows.err"
echo "$table"

qt=$(pkg-config --modversion Qt6Core 2>/dev/null || dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo unknown)
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
ram=$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
mkdir -p docs
cat >docs/performance.md <<DOC
# Performance

Measured by \`bench/run_all.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC').

Machine: $(nproc) cores, $cpu, $ram RAM; Qt $qt; kernel $(uname -r); display ${DISPLAY}.

$table

How each figure is taken:
- Start-up (a) and (b): the program and the floor (\`bench_floor_window\`, a bare Qt window that
  links Qt Widgets and nothing else; with \`--boxes\` it asks a name and shows a message first, as
  Calvenza does) run with \`CALVENZA_PAINT_LOG=1\`, which prints the wall clock once a window's
  first paint pass has been drawn and flushed, and when it is hidden. (a) counts from just before
  the process is launched; (b) from the name box closing to the main window painted, minus the
  time the greeting box waits for the pupil (who is given half a second to read it). Calvenza
  loads its library and builds its window, the wizard and the history while the name box waits.
  Boxes are answered with xdotool under openbox, once the program has the keyboard. Median of 15
  runs each, alternated.
- Enter to verdict: \`bench_verdict\` types into the real window and times from the Return key to
  the verdict label's paint pass flushed; the narrator is the recording stand-in.
- Enter to the reaction heard: \`bench_enter_to_sound\` runs the real window with the real wizard on
  a PulseAudio null sink of its own, and reads the sink's monitor in 5 ms blocks on a thread; the
  figure runs from the Return key to the first loud block (so it includes the sink's buffer and the
  server). A wrong answer's reaction opens with the "Greet" bow, so its voice comes after it.
- Ripasso: \`bench_ripasso\` builds a history of 1,000,000 answers in memory (30 pupils over five
  years), then for each pupil folds its answers into boxes and plays sessions, timing each
  \`next()\` with the answer that follows it.
- History: \`bench_history\` builds a history of 1,000,000 answers (30 pupils over 5 years) once,
  in \`BUILD/bench/history-1M/\`, then times one pupil's picture query (\`factsOf\`), the picture
  from construction to shown and painted, the export of every answer, the file's size, and
  \`HistoryWriter::record()\` as the drill's thread pays it.
- Register: \`bench_register\` builds a history of 1,000,000 answers (25 pupils over a year up to
  now, rebuilt when it is more than an hour old so that this week has answers) in
  \`BUILD/bench/history-register-1M/\`, then times the class's figures read from it and the
  register window from construction to its first read shown and painted. Then, in a PostgreSQL
  cluster of its own, it makes a school year on the server (500 pupils in 20 classes, 5,000,000
  answers by generate_series, the facts kept by the server's trigger) and times, through a
  teacher's role, a class of 25 read, its window shown and painted, a pupil's page, and an answer
  inserted → shown in the open register by LISTEN/NOTIFY.
- Quick pupil: \`bench_quickpace\` hands the real wizard (silent audio, paced by his voice's own
  length) the window's scripts for a pupil pressing Enter every 0.3 s for 30 exercises, first with
  every script kept (as before), then with each dictation dropping what has not begun; the figure
  runs from a dictation asked to its first word handed to the audio output.
- Voice under a busy window: \`bench_voicestall\` hands the audio output a 3 s tone as the voice
  hands an utterance, blocks the GUI thread for 100 ms halfway, and counts silent 5 ms blocks
  within it at the null sink's monitor.
- School's server: \`bench_school\` starts a PostgreSQL cluster of its own
  (\`tests/school/pgcluster.sh\`, fsync off), makes a history with 10,000 answers not yet sent, and
  times the real sender from its start (connection included) to the last batch confirmed in the
  local history; five runs, each a new machine.
- A lab's lesson: \`bench_school_lesson\` runs 30 machines in one process (each its own history,
  writer, sender and machine id) answering every 3 s for a shortened lesson of 60 s; the lag runs
  from the answer's time on its machine to the server's clock when its batch was stored
  (\`received_at\`, one clock here); the server's CPU is the user and system time of the cluster's
  processes (\`/proc/PID/stat\`, the server's children included) over the lesson.
- A pupil's picture at school: \`bench_school_picture\` fills the server itself with 5,000,000
  answers (500 pupils, 30 machines, a year), vacuums it, and times the machine's own reading of
  one pupil's 10,000 answers, rows converted included, for 50 pupils after a warming round; the
  plan is the one the server's \`auto_explain\` logs for one more reading.
- Faults: \`bench_school_faults\` measures Enter → verdict as \`bench_verdict\` does while a real
  sender follows the window's history, with no server, the server linked, and a TCP proxy of its
  own between them that delays every chunk 250 ms, or swallows every byte from the start (a
  server that takes the connection and never answers: this machine's network answers every
  address, so a blackhole address cannot be had) or from mid-lesson on (\`tc\`'s netem is missing).
- Start-up with a school: \`startup.sh\` also runs the program with a service whose server takes
  the connection and never answers, against the program without one.
- Memory: \`/usr/bin/time\` max RSS of a whole run (name, five answers, farewell) under xdotool.
- Figures vary with the load of the machine; the two cores may be shared with other jobs.
DOC
echo "Scritto docs/performance.md" >&2
exit $failed
