#!/usr/bin/env bash
# The wizard on a real X server with a window manager and a sound server: his voice reaches the
# speakers for as long as it should, and the answer box keeps the keyboard while he appears,
# speaks and is clicked. Runs the speech driver built beside the program (bench_speechstart).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_init

driver="$(dirname "$1")/../bench/bench_speechstart"
[ -x "$driver" ] || e2e_skip "driver $driver not built (CALVENZA_BENCH=OFF)"
e2e_need Xvfb openbox xdotool sox parecord pulseaudio pactl

e2e_start_x --wm || e2e_skip "Xvfb did not start"
e2e_start_pulse || e2e_skip "PulseAudio did not start"

text="Sei pronto? Allora cominciamo! Otto per sette, cinquantasei."
e2e_record_start "$E2E_TMP/voice.wav"
env -u CALVENZA_SILENT_AUDIO "$driver" --say "$text" >"$E2E_TMP/driver.out" 2>"$E2E_TMP/driver.err" &
driver_pid=$!
# He appears near (250,175) and starts speaking; click on him, then type an answer.
sleep 3
xdotool mousemove 320 300 click 1
sleep 0.3
xdotool type --delay 50 56
wait "$driver_pid"
sleep 0.3
e2e_record_stop
cat "$E2E_TMP/driver.out"

fail=0
grep -q "device audio" "$E2E_TMP/driver.out" \
    || { echo "FAIL: the wizard did not use the sound server"; fail=1; }
grep -q "focus kept: yes" "$E2E_TMP/driver.out" \
    || { echo "FAIL: the answer box lost the keyboard"; fail=1; }
grep -qx "typed: 56" "$E2E_TMP/driver.out" \
    || { echo "FAIL: typing did not reach the answer box"; fail=1; }

sound=$(e2e_sound_seconds "$E2E_TMP/voice.wav")
rms=$(e2e_wav_rms "$E2E_TMP/voice.wav")
echo "heard ${sound} s of voice, RMS ${rms}"
# About 5.5 s at the wizard's pace; a cut or doubled voice falls outside.
awk -v s="$sound" 'BEGIN { exit !(s > 4.0 && s < 7.5) }' \
    || { echo "FAIL: voice length ${sound} s"; fail=1; }
awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || { echo "FAIL: voice too quiet (${rms})"; fail=1; }
# The sound server goes away mid-sentence: he finishes silently, on time, without a crash.
long="Otto per sette, cinquantasei. Otto per otto, sessantaquattro. Otto per nove, settantadue."
env -u CALVENZA_SILENT_AUDIO "$driver" --say "$long" >"$E2E_TMP/lost.out" 2>"$E2E_TMP/lost.err" &
driver_pid=$!
sleep 3.5
pulseaudio --kill || true
if ! wait "$driver_pid"; then
    echo "FAIL: the driver failed after the sound server went away"
    fail=1
fi
spoke=$(sed -n 's/^spoke for \([0-9]*\) ms.*/\1/p' "$E2E_TMP/lost.out")
echo "with the server lost mid-sentence he spoke for ${spoke:-?} ms"
# The sentence lasts about 8 s; twice as long means he started over or hung.
[ -n "$spoke" ] && [ "$spoke" -gt 5000 ] && [ "$spoke" -lt 12000 ] \
    || { echo "FAIL: pacing after losing the server"; fail=1; }

if [ "$fail" != 0 ]; then
    sed 's/^/driver: /' "$E2E_TMP/driver.err" | grep -v XDG_RUNTIME || true
fi
exit "$fail"
