#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What `make run` does on a machine without a display: starts the reader on a
# private display with a null-sink sound server, presses Speak as a user
# would, records what is heard, takes a screenshot, and closes the reader.
# Runs inside tools/with-test-display.sh and tools/with-test-audio.sh.
set -euo pipefail
app=$1
out=${2:-out}
mkdir -p "$out"

"$app" &
pid=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Murrowen$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the reader window did not appear" >&2; kill "$pid"; exit 1; }
sleep 0.5

# Speak sits at 5640,720 twips (376,48 px), 97 x 25 px.
xdotool mousemove --window "$window" 424 60 click 1
parec -d "$SAYRELLA_TEST_SINK.monitor" --raw --format=s16le --rate=22050 --channels=1 > "$out/speech.raw" &
recorder=$!
sleep 1
import -window root "$out/screenshot.png"
sleep 4
kill "$recorder"; wait "$recorder" 2>/dev/null || true
sox -t raw -r 22050 -e signed -b 16 -c 1 "$out/speech.raw" "$out/speech.wav"
rm -f "$out/speech.raw"

wmctrl -c Murrowen
wait "$pid"
echo "Screenshot: $out/screenshot.png"
echo "Speech:     $out/speech.wav"
