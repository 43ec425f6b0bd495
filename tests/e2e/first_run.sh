#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A new user's first start installs the Mandarin voice package behind the
# small progress window, then opens the reader; the second start skips it.
# The program runs from a copy whose installer stand-in takes two seconds
# longer (and records each run), so the progress window can be seen.
#   first_run.sh PATH/TO/sayrella
set -euo pipefail
app=$1
bin=$(dirname "$app")
. "$(dirname "$0")/lib.sh"
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$work/program"
cp "$app" "$bin/msc" "$bin/machine.reg" "$bin/sayrella-synth" "$work/program/"
cp "$bin/msiexec" "$work/program/msiexec.real"
cat > "$work/program/msiexec" <<WRAPPER
#!/bin/sh
echo run >> "$work/installer-runs"
sleep 2
exec "$work/program/msiexec.real" "\$@"
WRAPPER
chmod +x "$work/program/msiexec"

progress_window() {
  for w in $(xdotool search --onlyvisible --class sayrella 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" = 319 ] && [ "$HEIGHT" = 60 ] && { echo "$w"; return; }
  done
  true
}
reader_window() { xdotool search --onlyvisible --name '^Murrowen$' 2>/dev/null | head -1 || true; }

"$work/program/sayrella" &
pid=$!
progress=""
for _ in $(seq 30); do progress=$(progress_window); [ -n "$progress" ] && break; sleep 0.1; done
[ -n "$progress" ] || fail "no progress window on the first start"
[ -z "$(reader_window)" ] || fail "the reader window came before the installation ended"
# It is painted (its texts show) while the installer runs.
eval "$(xdotool getwindowgeometry --shell "$progress")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$work/progress.png"
colours=$(convert "$work/progress.png" -format '%k' info:)
[ "$colours" -gt 2 ] || fail "the progress window shows no text"
[ -e "$TMPDIR/msc.msi" ] || fail "no copy of the package in the temporary folder during the installation"

window=""
for _ in $(seq 100); do window=$(reader_window); [ -n "$window" ] && break; sleep 0.1; done
[ -n "$window" ] || fail "the reader window did not appear after the installation"
[ -z "$(progress_window)" ] || fail "the progress window is still there"
[ -e "$XDG_DATA_HOME/sayrella/voices/cmn-sayrella" ] || fail "the voice was not installed"
[ ! -e "$TMPDIR/msc.msi" ] || fail "the temporary copy was left behind"
grep -q '^RunTimes=1$' "$XDG_CONFIG_HOME/Quenlor.ini" || fail "the first run was not recorded"

# The new user's first Speak is heard.
press_speak
sleep 0.5
level=$(heard 1); loud "$level" || fail "nothing heard on the first start ($level)"
close_reader
grep -q '^DEF_LG=0$' "$XDG_CONFIG_HOME/Quenlor.ini" || fail "the first voice (the package's) was not the one chosen"

# Second start: nothing installed, no progress window.
"$work/program/sayrella" &
pid=$!
window=""
for _ in $(seq 100); do
  [ -n "$(progress_window)" ] && fail "a progress window on the second start"
  window=$(reader_window); [ -n "$window" ] && break; sleep 0.1
done
[ -n "$window" ] || fail "the reader window did not appear on the second start"
[ "$(wc -l < "$work/installer-runs")" = 1 ] || fail "the installer ran again"
close_reader
echo "1 passed, 0 failed"
