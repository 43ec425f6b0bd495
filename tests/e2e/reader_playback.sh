#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real reader on a real (virtual) display with a window manager, driven
# with real clicks, heard through the test sound server's null sink.
#   reader_playback.sh PATH/TO/sayrella
# Needs tools/with-test-display.sh and tools/with-test-audio.sh around it.
set -euo pipefail
app=$1
. "$(dirname "$0")/lib.sh"

start_reader "$app"

# The window manager is asked for a fixed size and no minimise or maximise button.
xprop -id "$window" WM_NORMAL_HINTS | grep -q 'program specified minimum size: 493 by 336' || fail "minimum size hint"
xprop -id "$window" WM_NORMAL_HINTS | grep -q 'program specified maximum size: 493 by 336' || fail "maximum size hint"
motif=$(xprop -id "$window" _MOTIF_WM_HINTS | sed 's/.*= //')
functions=$(echo "$motif" | cut -d, -f2 | tr -d ' ')
decorations=$(echo "$motif" | cut -d, -f3 | tr -d ' ')
(( (functions & 0x08) == 0 && (functions & 0x10) == 0 )) || fail "minimise/maximise allowed: $motif"
(( (decorations & 0x20) == 0 && (decorations & 0x40) == 0 )) || fail "minimise/maximise buttons: $motif"
(( (functions & 0x20) != 0 )) || fail "no close: $motif"

# The Pause button's face as the screen shows it (its caption reads Pause or Resume),
# inside the frame that marks the keyboard focus.
pause_button() { import -window "$window" -crop 89x17+380+116 +repage "$work/$1.png"; }
differs() { ! compare -metric AE "$work/$1.png" "$work/$2.png" null: 2>/dev/null; }

press_speak
sleep 0.5
level=$(heard 1); loud "$level" || fail "Speak: nothing heard ($level)"
xdotool mousemove --window "$window" 10 10   # keep the pointer off the button
sleep 0.2
pause_button pause
press_pause
sleep 0.2
level=$(heard 1); silent "$level" || fail "Pause: still heard ($level)"
xdotool mousemove --window "$window" 10 10
sleep 0.2
pause_button resume
differs pause resume || fail "Pause: the button's caption did not change"
press_pause
sleep 0.2
level=$(heard 1); loud "$level" || fail "Resume: nothing heard ($level)"
xdotool mousemove --window "$window" 10 10
sleep 0.2
pause_button again
differs pause again && fail "Resume: the button does not read Pause again"
press_stop
sleep 0.2
level=$(heard 1); silent "$level" || fail "Stop: still heard ($level)"

# Closing with the close box while speaking ends the program cleanly and at once.
press_speak
sleep 0.5
close_reader
echo "1 passed, 0 failed"
