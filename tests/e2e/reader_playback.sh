#!/usr/bin/env bash
# The real reader on a real (virtual) display with a window manager, driven
# with real clicks, heard through the test sound server's null sink.
#   reader_playback.sh PATH/TO/sayrella
# Needs tools/with-test-display.sh and tools/with-test-audio.sh around it.
set -euo pipefail
app=$1
work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# A user of its own, so the test neither reads nor changes the machine user's settings.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

# RMS amplitude (0..1) of what the sink plays during the next $1 seconds.
heard() {
  timeout "$1" parec -d "$SAYRELLA_TEST_SINK.monitor" --raw --format=s16le --rate=22050 --channels=1 \
    > "$work/rec.raw" 2>/dev/null || true
  sox -t raw -r 22050 -e signed -b 16 -c 1 "$work/rec.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}'
}
loud() { awk -v r="$1" 'BEGIN { exit !(r > 0.01) }'; }
silent() { awk -v r="$1" 'BEGIN { exit !(r < 0.0005) }'; }

"$app" &
pid=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Murrowen$' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the reader window did not appear"
sleep 0.5

# The window manager is asked for a fixed size and no minimise or maximise button.
xprop -id "$window" WM_NORMAL_HINTS | grep -q 'program specified minimum size: 493 by 336' || fail "minimum size hint"
xprop -id "$window" WM_NORMAL_HINTS | grep -q 'program specified maximum size: 493 by 336' || fail "maximum size hint"
motif=$(xprop -id "$window" _MOTIF_WM_HINTS | sed 's/.*= //')
functions=$(echo "$motif" | cut -d, -f2 | tr -d ' ')
decorations=$(echo "$motif" | cut -d, -f3 | tr -d ' ')
(( (functions & 0x08) == 0 && (functions & 0x10) == 0 )) || fail "minimise/maximise allowed: $motif"
(( (decorations & 0x20) == 0 && (decorations & 0x40) == 0 )) || fail "minimise/maximise buttons: $motif"
(( (functions & 0x20) != 0 )) || fail "no close: $motif"

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
speak() { click 424 60; }
stop() { click 424 92; }
pause_resume() { click 424 124; }

speak
sleep 0.5
level=$(heard 1); loud "$level" || fail "Speak: nothing heard ($level)"
pause_resume
sleep 0.2
level=$(heard 1); silent "$level" || fail "Pause: still heard ($level)"
pause_resume
sleep 0.2
level=$(heard 1); loud "$level" || fail "Resume: nothing heard ($level)"
stop
sleep 0.2
level=$(heard 1); silent "$level" || fail "Stop: still heard ($level)"

# Closing with the close box (through the window manager) ends the program cleanly.
speak
sleep 0.5
wmctrl -c Murrowen
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the reader did not end after its window was closed"
set +e; wait "$pid"; status=$?; set -e
pid=""
[ "$status" = 0 ] || fail "exit status $status"
echo "1 passed, 0 failed"
