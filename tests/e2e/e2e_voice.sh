#!/usr/bin/env bash
# The real program with a sound server: the introduction is really heard, the wizard and his
# balloon are on screen, and Exit ends the program at once although he still has much to say.
set -euo pipefail
calvenza=$(realpath "$1")
source "$(dirname "$0")/lib.sh"
e2e_init
e2e_need Xvfb openbox xdotool sox parecord pulseaudio pactl import
e2e_start_x --wm || e2e_skip "Xvfb did not start"
e2e_start_pulse || e2e_skip "PulseAudio did not start"
export XDG_DATA_HOME=$E2E_TMP/data
unset CALVENZA_SILENT_AUDIO

e2e_record_start "$E2E_TMP/voice.wav"
sleep 2.5 # an idle null sink holds back the first two seconds
"$calvenza" >"$E2E_TMP/calvenza.log" 2>&1 &
pid=$!
E2E_PIDS+=("$pid")
e2e_wait_for "xdotool search --name '^Calvenza$'" 100 || { echo "FAIL: no name box"; exit 1; }
sleep 0.5
xdotool type --delay 40 "Giulia"
xdotool key Return
sleep 0.7
xdotool key Return # the greeting
sleep 7
shot=${CALVENZA_E2E_SHOT:-$E2E_TMP/voice.png}
import -window root "$shot"
sleep 3
# Exit while the introduction and the first dictation are still queued.
xdotool key alt+x
sleep 0.7
start=$(date +%s%N)
xdotool key Return # the farewell
ended=0
for _ in $(seq 60); do
    if ! kill -0 "$pid" 2>/dev/null; then ended=1; break; fi
    sleep 0.05
done
exit_ms=$(( ($(date +%s%N) - start) / 1000000 ))
sleep 0.5
e2e_record_stop

fail=0
[ "$ended" = 1 ] || { echo "FAIL: the program was still running ${exit_ms} ms after the farewell"; fail=1; }
echo "program ended ${exit_ms} ms after the farewell was closed"
sound=$(e2e_sound_seconds "$E2E_TMP/voice.wav")
rms=$(e2e_wav_rms "$E2E_TMP/voice.wav")
echo "heard ${sound} s of voice, RMS ${rms}"
# About 11 s of the introduction were played before Exit cut it short.
awk -v s="$sound" 'BEGIN { exit !(s > 6.0 && s < 14.0) }' || { echo "FAIL: voice length ${sound} s"; fail=1; }
awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || { echo "FAIL: voice too quiet (${rms})"; fail=1; }
# The screenshot shows him where he was sent, in his starry robe with his white beard, and his
# balloon to his right.
share() { # image geometry colour: the share of the area's pixels near that colour
    convert "$1" -crop "$2" +repage -fuzz 12% -fill white -opaque "$3" -fill black +opaque white \
        -format '%[fx:mean]' info:
}
robe=$(share "$shot" 200x210+250+175 '#4d42b4')
beard=$(share "$shot" 200x210+250+175 '#fcfaf2')
balloon=$(share "$shot" 270x110+425+235 '#fffdf0')
echo "robe ${robe}, beard ${beard}, balloon ${balloon}"
awk -v r="$robe" -v b="$beard" 'BEGIN { exit !(r > 0.08 && b > 0.04) }' \
    || { echo "FAIL: the wizard is not at (250,175)"; fail=1; }
awk -v b="$balloon" 'BEGIN { exit !(b > 0.5) }' || { echo "FAIL: no balloon beside him"; fail=1; }
echo "screenshot: $shot"
if [ "$fail" != 0 ]; then sed 's/^/calvenza: /' "$E2E_TMP/calvenza.log"; fi
[ "$fail" = 0 ] && echo "e2e voice: 1 passed, 0 failed"
exit "$fail"
