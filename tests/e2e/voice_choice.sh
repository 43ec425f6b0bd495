#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real reader keeps the voice the user picked across restarts.
#   voice_choice.sh PATH/TO/sayrella
# Needs tools/with-test-display.sh and tools/with-test-audio.sh around it.
set -euo pipefail
app=$1
. "$(dirname "$0")/lib.sh"
ini="$XDG_CONFIG_HOME/Quenlor.ini"
saved() { sed -n 's/^DEF_LG=//p' "$ini"; }

start_reader "$app"
close_reader
[ "$(saved)" = 0 ] || fail "a new user's first voice is not saved as position 0: $(saved)"

# Pick the fourth entry with the keyboard in the voice list.
start_reader "$app"
click 400 26
xdotool key Down Down Down
sleep 0.3
close_reader
[ "$(saved)" = 3 ] || fail "picked entry 3, saved $(saved)"

# Next start: the same entry is selected again (closing saves it unchanged),
# and the reader speaks with it.
start_reader "$app"
press_speak
sleep 0.5
level=$(heard 1); loud "$level" || fail "nothing heard with the restored voice ($level)"
close_reader
[ "$(saved)" = 3 ] || fail "the restored choice was not kept: $(saved)"
echo "1 passed, 0 failed"
