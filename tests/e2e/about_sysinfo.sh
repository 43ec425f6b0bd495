#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real reader: "About Me" opens the About box, whose system-information
# button starts the tool that the machine's registry hive names. The program
# reads the hive beside itself, so it runs here from a copy whose hive names a
# fixture tool that records that it ran.
#   about_sysinfo.sh PATH/TO/sayrella
set -euo pipefail
app=$1
. "$(dirname "$0")/lib.sh"

mkdir -p "$work/program" "$work/tool folder"
cp "$app" "$(dirname "$app")/msc" "$(dirname "$app")/msiexec" "$(dirname "$app")/sayrella-synth" "$work/program/"
cat > "$work/tool folder/system info" <<TOOL
#!/bin/sh
echo ran > "$work/tool-ran"
TOOL
chmod +x "$work/tool folder/system info"
cat > "$work/program/machine.reg" <<HIVE
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]
"PATH"="$work/tool folder/system info"
HIVE

start_reader "$work/program/sayrella"
press_about
about=$(find_window '^关于 Sayrella$')
[ -n "$about" ] || fail "the About box did not open"
# The dialog's client area is placed at 156,129 on the screen, where the window manager allows.
eval "$(xdotool getwindowgeometry --shell "$about")"
[ "$X" = 156 ] && [ "$Y" = 129 ] || echo "note: the window manager placed the About box at $X,$Y"
sleep 0.3
xdotool key alt+s
for _ in $(seq 50); do [ -e "$work/tool-ran" ] && break; sleep 0.1; done
[ -e "$work/tool-ran" ] || fail "the system-information tool was not started"
# The dialog stays open; Esc closes it, and the reader takes input again.
xdotool search --onlyvisible --name '^关于 Sayrella$' >/dev/null || fail "the About box closed"
xdotool key Escape
sleep 0.5
xdotool search --onlyvisible --name '^关于 Sayrella$' >/dev/null 2>&1 && fail "Esc did not close the About box"
close_reader
echo "1 passed, 0 failed"
