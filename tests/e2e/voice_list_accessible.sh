#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A screen reader (through AT-SPI, as Orca reads it) hears which voice is
# chosen: the voice list keeps its name "语言", its text is the voice shown
# and its list of entries has that voice selected, after a saved choice is
# restored and after a pick by keyboard; with nothing chosen its text is
# "语言" and nothing is selected.
#   voice_list_accessible.sh PATH/TO/sayrella
# Needs tools/with-test-display.sh around it; runs its own session bus.
set -euo pipefail
if [ -z "${SAYRELLA_TEST_SESSION_BUS:-}" ]; then
  SAYRELLA_TEST_SESSION_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
app=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The accessibility bus and its registry, up before the reader looks for them.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
/usr/bin/python3 -c 'import pyatspi; pyatspi.Registry.getDesktop(0)'
probe() { /usr/bin/python3 "$here/voice_list_atspi.py" "$@"; }
mkdir -p "$XDG_CONFIG_HOME"
chosen() { printf '[Sayrella]\nRunTimes=1\nDEF_LG=%s\n' "$1" > "$XDG_CONFIG_HOME/Quenlor.ini"; }

chosen 5
start_reader "$app"
{ read -r line; read -r fifth; } < <(probe 5)
[ "$line" = "语言	$fifth	$fifth" ] || fail "saved choice 5 ($fifth) restored, AT-SPI says: $line"
# A pick by keyboard: the next entry.
click 400 26
xdotool key Escape
xdotool key Down
sleep 0.5
{ read -r line; read -r sixth; } < <(probe 6)
[ "$line" = "语言	$sixth	$sixth" ] || fail "picked entry 6 ($sixth) by keyboard, AT-SPI says: $line"
close_reader

chosen -1
start_reader "$app"
line=$(probe)
[ "$line" = "语言	语言	" ] || fail "nothing chosen, AT-SPI says: $line"
close_reader
echo "1 passed, 0 failed"
