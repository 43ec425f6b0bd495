#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A new user on a new account, with nothing but a home folder: the installed
# program's first start installs the Mandarin voice package, and then every
# way of using it sees that voice. The window's first Ctrl+S, Enter saves
# audio into ~/Music; --list-voices lists the package voice first;
# --export speaks with each Mandarin voice into every format, each read back
# by a reader that is not ours (libsndfile; WAV also by a strict parser);
# --pinyin gives a line for each line. Run from a folder holding a file that
# looks like a voice, which nothing may offer. The command line, run without
# XDG_RUNTIME_DIR, prints nothing of its own but its output.
#   new_user.sh BUILD-FOLDER AUDIO-INFO
set -euo pipefail
build=$1
audio_info=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

cmake --install "$build" --prefix "$work/usr" >/dev/null
app="$work/usr/bin/sayrella"
# Defaults only: no folder of the test's choosing but the home folder.
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_MUSIC_DIR
export HOME="$work/home" TMPDIR="$work/tmp"
mkdir -p "$HOME" "$TMPDIR" "$work/cwd"
cd "$work/cwd"
printf 'name 假的声音\nlanguage en\n' > notes.txt
voices="$HOME/.local/share/sayrella/voices"

start_reader "$app"
[ -e "$voices/cmn-sayrella" ] || fail "the first start did not install the voice package into $voices"

# The first save from the window: Ctrl+S, then Enter on the suggested name.
click 150 150
xdotool key ctrl+s
dialog=$(find_window '^保存为音频文件$')
[ -n "$dialog" ] || fail "Ctrl+S opened no save dialog"
sleep 0.3
xdotool key Return
saved="$HOME/Music/朗读.mp3"
for _ in $(seq 600); do
  [ -e "$saved" ] && break
  [ -n "$(xdotool search --onlyvisible --name '^Sayrella$' 2>/dev/null || true)" ] && break
  sleep 0.1
done
if [ ! -e "$saved" ]; then
  box=$(xdotool search --onlyvisible --name '^Sayrella$' 2>/dev/null | head -1 || true)
  [ -n "$box" ] && xdotool key Return
  fail "the window's first save made no $saved"
fi
read -r frames rate channels seconds rms < <("$audio_info" "$saved") || fail "the window's save is not audio"
loud "$rms" || fail "the window's save is silent ($rms)"
echo "window's save: $seconds s at $rate Hz"
close_reader

# The command line, as cron or sudo runs it: no XDG_RUNTIME_DIR.
cli() { env -u XDG_RUNTIME_DIR -u DISPLAY "$app" "$@" 2>"$work/stderr"; }
quiet() { [ ! -s "$work/stderr" ] || fail "$1 printed more than its own output: $(cat "$work/stderr")"; }

cli --list-voices > "$work/voices.txt" || fail "--list-voices failed: $(cat "$work/stderr")"
quiet --list-voices
first=$(head -1 "$work/voices.txt")
[ "$first" = "file:$voices/cmn-sayrella	普通话女声" ] || fail "--list-voices does not list the package voice first: $first"
! grep -q 假的声音 "$work/voices.txt" || fail "a file of the current folder is listed as a voice"

printf '今天是2024年3月5日，天气很好。' > "$work/short.txt"
mandarin=$(grep -E '普通话|Mandarin' "$work/voices.txt" | cut -f1)
[ "$(echo "$mandarin" | wc -l)" -ge 2 ] || fail "fewer than two Mandarin voices: $mandarin"
for voice in $mandarin; do
  for format in wav flac ogg opus mp3; do
    out="$work/out-${voice##*/}.$format"
    cli --export "$out" --voice "$voice" "$work/short.txt" || fail "--export $format with $voice: $(cat "$work/stderr")"
    quiet "--export $format"
    read -r frames rate channels seconds rms < <("$audio_info" "$out") || fail "$out cannot be read back"
    loud "$rms" || fail "$out is silent ($rms)"
    if [ "$format" = wav ]; then
      "$here/strict_wav.py" "$out" >/dev/null || fail "$out is not a plain PCM WAV"
    fi
  done
done

printf '银行\n重庆\n\n长大' | cli --pinyin - > "$work/pinyin.txt"
quiet --pinyin
[ "$(cat "$work/pinyin.txt")" = "$(printf 'yin2 hang2\nchong2 qing4\n\nzhang3 da4')" ] \
  || fail "--pinyin of four lines gave: $(od -c "$work/pinyin.txt" | head)"
[ "$(printf '银行\n' | cli --pinyin - | wc -l)" = 1 ] || fail "--pinyin of one line gave another"
echo "PASS"
