#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The installed speech-dispatcher module under a private speech-dispatcher
# (its own copy of the configuration, its own socket: nothing reaches or
# starts the user's server), heard on the test's null sink:
#  - the server finds the module by itself and lists it and its voices;
#  - spd-say reads a Chinese sentence through it, and it is heard;
#  - a client's SSML marks come back to its callbacks, in order, then the end;
#  - 你好 through the module sounds as the reader's own export of it, and
#    not as the espeak-ng module reads it.
#   speechd_module.sh BUILD-FOLDER
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

cmake --install "$build" --prefix "$work/usr" >/dev/null
module="$work/usr/lib/speech-dispatcher-modules/sd_sayrella"
[ -x "$module" ] || fail "the module was not installed where speech-dispatcher looks for modules"
[ -f "$work/usr/etc/speech-dispatcher/modules/sayrella.conf" ] || fail "sayrella.conf was not installed"
unset XDG_CONFIG_HOME XDG_DATA_HOME
export HOME="$work/home"
mkdir -p "$HOME"

# The server's configuration and module folder, as a system has them plus ours.
cp -r /etc/speech-dispatcher "$work/conf"
cp "$work/usr/etc/speech-dispatcher/modules/sayrella.conf" "$work/conf/modules/"
mkdir -p "$work/modules" "$work/log"
ln -s "$module" "$work/modules/sd_sayrella"
ln -s /usr/lib/speech-dispatcher-modules/sd_espeak-ng "$work/modules/sd_espeak-ng"
export SPEECHD_ADDRESS="unix_socket:$work/speechd.sock"
speech-dispatcher -s -t 0 -C "$work/conf" -m "$work/modules" -c unix_socket -S "$work/speechd.sock" \
  -L "$work/log" -P "$work/speechd.pid" >"$work/log/stdout" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; [ -n "${rec:-}" ] && kill $rec 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -S "$work/speechd.sock" ] && break; sleep 0.1; done
[ -S "$work/speechd.sock" ] || fail "the private speech-dispatcher did not start"

modules=$(timeout 20 spd-say -O)
grep -qx sayrella <<<"$modules" || fail "spd-say -O does not list the module: $modules"
voices=$(timeout 20 spd-say -o sayrella -L)
grep -Eq '[[:space:]]zh-CN[[:space:]]' <<<"$voices" || fail "no zh-CN voice: $(head -3 <<<"$voices")"

# Records the sink while a command speaks: record OUT COMMAND...
record() {
  local out=$1
  shift
  parec -d "$SAYRELLA_TEST_SINK.monitor" --raw --format=s16le --rate=22050 --channels=1 --latency-msec=20 >"$out" &
  rec=$!
  sleep 0.3
  "$@"
  sleep 0.5
  kill $rec
  wait $rec 2>/dev/null || true
  rec=""
}
heard_seconds() { python3 -c "
import array,sys
b=open(sys.argv[1],'rb').read(); s=array.array('h'); s.frombytes(b[:len(b)//2*2])
print(sum(1 for x in s if abs(x)>300)/22050)" "$1"; }

record "$work/sentence.raw" timeout 30 spd-say -w -o sayrella -l zh-CN "2008年8月8日，银行行长来了。"
loud=$(heard_seconds "$work/sentence.raw")
python3 -c "import sys; sys.exit(0 if float('$loud') > 1.0 else 1)" || fail "the sentence was not heard ($loud s loud)"

marks=$(timeout 40 /usr/bin/python3 "$here/speechd_marks.py") || fail "the client's callbacks never saw the end: $marks"
expected=$'begin\nmark w1\nmark w2\nmark w3\nend'
[ "$marks" = "$expected" ] || fail "events through python3-speechd: $(tr '\n' ' ' <<<"$marks")"

printf '你好' >"$work/hello.txt"
"$work/usr/bin/sayrella" --export "$work/reader.wav" "$work/hello.txt" 2>/dev/null
record "$work/espeak.raw" timeout 30 spd-say -w -o espeak-ng -l zh-CN "你好"
read -r ratio2 other < <(/usr/bin/python3 "$here/speech_match.py" "$work/espeak.raw" "$work/reader.wav")
# A recording through the server on a loaded machine may catch a gap in
# its playback; what is said is the same every time, so the best of three
# recordings is compared (a dip of 10 ms in one, seen now and then, costs
# its loudness curve a tenth of its correlation).
for attempt in 1 2 3; do
  record "$work/ours.raw" timeout 30 spd-say -w -o sayrella -l zh-CN "你好"
  read -r ratio same < <(/usr/bin/python3 "$here/speech_match.py" "$work/ours.raw" "$work/reader.wav")
  echo "module vs reader (recording $attempt): length ratio $ratio, correlation $same; espeak-ng module vs reader: $ratio2, $other"
  python3 -c "import sys; sys.exit(0 if $ratio > 0.9 and $same > 0.7 else 1)" && break
  [ "$attempt" = 3 ] && fail "the module's 你好 is not the reader's"
done
python3 -c "import sys; sys.exit(0 if $ratio2 < 0.8 or $other < 0.7 else 1)" || fail "the espeak-ng module's 你好 sounds as ours"
echo "PASS"
