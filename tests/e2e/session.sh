#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One reader per session, reading from anywhere, driven by player controls:
# a second start (a file named from another folder) hands over and ends
# with 0, and the first opens the file; --speak-selection with a primary
# selection set by another client is heard in the running window, an empty
# one is not; playerctl drives the window as its buttons do, and a client
# following the player sees each change.
#   session.sh PATH/TO/sayrella
# Needs tools/with-test-audio.sh and tools/with-test-display.sh around it;
# runs its own session bus.
set -euo pipefail
if [ -z "${SAYRELLA_TEST_SESSION_BUS:-}" ]; then
  SAYRELLA_TEST_SESSION_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
app=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
mkdir -p "$XDG_CONFIG_HOME" "$work/docs"
printf '[Sayrella]\nRunTimes=1\n' > "$XDG_CONFIG_HOME/Quenlor.ini"
printf '第二章的第一句。第二章的第二句。\n' > "$work/docs/第二章.txt"
player() { playerctl -p sayrella "$@"; }

start_reader "$app"
for _ in $(seq 50); do player status >/dev/null 2>&1 && break; sleep 0.1; done
[ "$(player status)" = Stopped ] || fail "a new reader's player is $(player status)"
player --follow status > "$work/followed" 2>/dev/null &
follower=$!
trap 'kill $follower 2>/dev/null || true; [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

# A second start, from another folder, with a relative name.
set +e; (cd "$work/docs" && timeout 10 "$app" 第二章.txt); status=$?; set -e
[ "$status" = 0 ] || fail "the second start ended with $status"
kill -0 "$pid" || fail "the first reader ended"
[ "$(xdotool search --onlyvisible --name '^Murrowen$' | wc -l)" = 1 ] || fail "a second window opened"
for _ in $(seq 50); do [ "$(player metadata title)" = 第二章 ] && break; sleep 0.1; done
[ "$(player metadata title)" = 第二章 ] || fail "the running reader did not open the file: $(player metadata title)"

# The selection of another program, read in the running window.
sentence='选中的这段文字从别的程序来，读得出来就说明朗读器收到了它。'
printf '%s%s%s' "$sentence" "$sentence" "$sentence" | xclip -selection primary
"$app" --speak-selection || fail "--speak-selection ended with $?"
r=$(heard 2); loud "$r" || fail "the selection was not heard (RMS $r)"
[ "$(player status)" = Playing ] || fail "reading the selection, the player is $(player status)"
[ "$(player metadata title)" = "${sentence:0:24}…" ] || fail "the title is $(player metadata title)"

# The player's commands, as the buttons.
player pause; sleep 0.3
[ "$(player status)" = Paused ] || fail "after pause: $(player status)"
r=$(heard 1); silent "$r" || fail "heard while paused (RMS $r)"
player play; sleep 0.2
[ "$(player status)" = Playing ] || fail "after play: $(player status)"
r=$(heard 1); loud "$r" || fail "not heard after play (RMS $r)"
player next; sleep 0.2
[ "$(player status)" = Playing ] || fail "after next: $(player status)"
player previous; sleep 0.2
[ "$(player status)" = Playing ] || fail "after previous: $(player status)"
player play-pause; sleep 0.3
[ "$(player status)" = Paused ] || fail "after play-pause: $(player status)"
player play-pause; sleep 0.2
[ "$(player status)" = Playing ] || fail "after the second play-pause: $(player status)"
player stop; sleep 0.3
[ "$(player status)" = Stopped ] || fail "after stop: $(player status)"
r=$(heard 1); silent "$r" || fail "heard after stop (RMS $r)"

# An empty selection: nothing read, the text as it was.
printf '' | xclip -selection primary
"$app" --speak-selection || fail "--speak-selection (nothing selected) ended with $?"
r=$(heard 1); silent "$r" || fail "something was read with nothing selected (RMS $r)"
[ "$(player metadata title)" = "${sentence:0:24}…" ] || fail "an empty selection changed the text"

sleep 0.3
kill "$follower" 2>/dev/null || true
followed=$(uniq "$work/followed" | tr '\n' ' ')
case "$followed" in
  Stopped*Playing*Paused*Playing*Paused*Playing*Stopped*) ;;
  *) fail "a client following the player saw: $followed" ;;
esac
close_reader
player status >/dev/null 2>&1 && fail "the player stayed on the bus after the reader ended"
echo "ok: handed over, selection heard, player followed: $followed"
