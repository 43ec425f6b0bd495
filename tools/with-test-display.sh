#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a private X display (Xvfb) with a window manager, so that
# the real program gets real windows, title bars and close boxes.
#   tools/with-test-display.sh COMMAND [ARGS...]
set -euo pipefail

xvfb=""
wm=""
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
unset WAYLAND_DISPLAY
# Tests run side by side: a display another one took meanwhile makes this
# Xvfb exit at once, and another number is tried.
for _ in $(seq 10); do
  display=:$((90 + RANDOM % 400))
  [ -e "/tmp/.X11-unix/X${display#:}" ] && continue
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY="$display"
  for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  # Answered, and by this Xvfb, not by one that took the number first.
  xdpyinfo >/dev/null 2>&1 && kill -0 "$xvfb" 2>/dev/null && break
  kill "$xvfb" 2>/dev/null || true
  xvfb=""
done
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5

set +e
"$@"
exit $?
