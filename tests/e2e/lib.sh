# SPDX-License-Identifier: GPL-3.0-or-later
# Shared steps of the end-to-end scripts: a private user, the reader's
# windows, what the null sink plays. Sourcing it sets up $work, a scratch
# folder removed at exit together with the reader started there ($pid).
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
# A user of its own, so a test neither reads nor changes the machine user's files.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
# Nor the machine user's session bus: a reader running there would take the
# test's start over. Tests of the session run a bus of their own.
[ -n "${SAYRELLA_TEST_SESSION_BUS:-}" ] || unset DBUS_SESSION_BUS_ADDRESS

# Prints the id of the first visible window whose title matches $1, waiting up to 10 s.
find_window() {
  local w
  for _ in $(seq 100); do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$w" ] && { echo "$w"; return; }
    sleep 0.1
  done
}

# Starts the program $1 and waits for the reader window: sets $pid and $window.
start_reader() {
  "$1" &
  pid=$!
  window=$(find_window '^Murrowen$')
  [ -n "$window" ] || fail "the reader window did not appear"
  sleep 0.3
}

# Closes the reader with its close box (through the window manager) and
# checks that the program ended with status 0.
close_reader() {
  wmctrl -c Murrowen
  local status
  set +e; wait "$pid"; status=$?; set -e
  pid=""
  [ "$status" = 0 ] || fail "exit status $status"
}

# RMS amplitude (0..1) of what the sink plays during the next $1 seconds.
heard() {
  timeout "$1" parec -d "$SAYRELLA_TEST_SINK.monitor" --raw --format=s16le --rate=22050 --channels=1 \
    > "$work/rec.raw" 2>/dev/null || true
  sox -t raw -r 22050 -e signed -b 16 -c 1 "$work/rec.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}'
}
loud() { awk -v r="$1" 'BEGIN { exit !(r > 0.01) }'; }
silent() { awk -v r="$1" 'BEGIN { exit !(r < 0.0005) }'; }

# Buttons of the reader window, by their centres in pixels.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
press_speak() { click 424 60; }
press_stop() { click 424 92; }
press_pause() { click 424 124; }
press_about() { click 424 280; }
