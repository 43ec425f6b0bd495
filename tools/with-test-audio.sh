#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command with a private PulseAudio server whose default sink is a
# null sink, so audio really flows (and can be recorded from the sink's
# monitor) on machines without a sound card. Works as root too.
#   tools/with-test-audio.sh COMMAND [ARGS...]
# The command sees SAYRELLA_TEST_SINK (the sink's name; record from
# "$SAYRELLA_TEST_SINK.monitor").
set -euo pipefail

runtime=$(mktemp -d "${TMPDIR:-/tmp}/sayrella-audio.XXXXXX")
export XDG_RUNTIME_DIR="$runtime"
export PULSE_RUNTIME_PATH="$runtime/pulse"
export PULSE_STATE_PATH="$runtime/state"
export PULSE_SERVER="unix:$runtime/pulse/native"
export SAYRELLA_TEST_SINK=sayrella_null
mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"

keepalive=""
cleanup() {
  [ -n "$keepalive" ] && kill "$keepalive" 2>/dev/null || true
  pulseaudio --kill 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

pulseaudio --daemonize=yes -n --exit-idle-time=-1 --disallow-exit --log-target=stderr --log-level=error \
  --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=$SAYRELLA_TEST_SINK rate=22050 channels=1" 2>/dev/null
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink "$SAYRELLA_TEST_SINK"
# An idle null sink starts a new stream's audio more than a second late; a
# silent stream kept running into it keeps it awake.
pacat --playback --latency-msec=20 --raw --format=s16le --rate=22050 --channels=1 \
  -d "$SAYRELLA_TEST_SINK" /dev/zero &
keepalive=$!
# A freshly started server still delays new streams by up to two seconds;
# let it settle so that tests measure the reader, not the warm-up.
sleep 3

set +e
"$@"
status=$?
exit $status
