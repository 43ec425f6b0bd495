#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real reader started with a document on its command line: the text area
# holds the document's text (a GBK novel here); a file that cannot be opened
# leaves the sample text and says so once the window is up.
#   open_document.sh PATH/TO/sayrella
# Needs tools/with-test-display.sh and tools/with-test-audio.sh around it.
set -euo pipefail
app=$1
. "$(dirname "$0")/lib.sh"
mkdir -p "$XDG_CONFIG_HOME"
printf '[Sayrella]\nRunTimes=1\n' > "$XDG_CONFIG_HOME/Quenlor.ini"   # not a first run

story="第一回：山下有一条小河，河边住着一位老人。他每天清晨去打水，黄昏时坐在门口看云。"
printf '%s' "$story" | iconv -f UTF-8 -t GBK > "$work/小说.txt"

# What the text area holds, through the clipboard as a person would copy it.
text_area_contents() {
  click 150 150
  xdotool key ctrl+a ctrl+c
  sleep 0.3
  xclip -o -selection clipboard
}

start_reader_with() {
  "$app" "$1" &
  pid=$!
  window=$(find_window '^Murrowen$')
  [ -n "$window" ] || fail "the reader window did not appear"
  sleep 1
}

start_reader_with "$work/小说.txt"
[ "$(text_area_contents)" = "$story" ] || fail "the text area does not hold the document: $(text_area_contents | head -c 200)"
close_reader

start_reader_with "$work/没有这个文件.txt"
box=$(find_window '^Sayrella$')
[ -n "$box" ] || fail "no message about the missing file"
xdotool key Return   # the message box has the focus
sleep 0.3
case "$(text_area_contents)" in
  听见文字*) ;;
  *) fail "the sample text was not kept" ;;
esac
close_reader
echo "1 passed, 0 failed"
