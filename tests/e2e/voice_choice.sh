#!/usr/bin/env bash
# The real reader keeps the voice the user picked across restarts.
#   voice_choice.sh PATH/TO/sayrella
# Needs tools/with-test-display.sh and tools/with-test-audio.sh around it.
set -euo pipefail
app=$1
home=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$home"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
ini="$XDG_CONFIG_HOME/Quenlor.ini"

start() {
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
}
close() {
  wmctrl -c Murrowen
  set +e; wait "$pid"; local status=$?; set -e
  pid=""
  [ "$status" = 0 ] || fail "exit status $status"
}
saved() { sed -n 's/^DEF_LG=//p' "$ini"; }

start
close
[ "$(saved)" = 0 ] || fail "a new user's first voice is not saved as position 0: $(saved)"

# Pick the fourth entry with the keyboard in the voice list.
start
xdotool mousemove --window "$window" 400 26 click 1
xdotool key Down Down Down
sleep 0.3
close
[ "$(saved)" = 3 ] || fail "picked entry 3, saved $(saved)"

# Next start: the same entry is selected again (closing saves it unchanged),
# and the reader speaks with it.
start
xdotool mousemove --window "$window" 424 60 click 1
sleep 0.5
timeout 1 parec -d "$SAYRELLA_TEST_SINK.monitor" --raw --format=s16le --rate=22050 --channels=1 > "$home/rec.raw" || true
level=$(sox -t raw -r 22050 -e signed -b 16 -c 1 "$home/rec.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
awk -v r="$level" 'BEGIN { exit !(r > 0.01) }' || fail "nothing heard with the restored voice ($level)"
close
[ "$(saved)" = 3 ] || fail "the restored choice was not kept: $(saved)"
echo "1 passed, 0 failed"
