#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as installed (GNUInstallDirs layout) and then moved, prefix and
# all, to another folder: it still finds its helpers and its voice package,
# installs the voice on the first start, and speaks.
#   installed_moved.sh BUILD-FOLDER
set -euo pipefail
build=$1
. "$(dirname "$0")/lib.sh"
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"

cmake --install "$build" --prefix "$work/first" >/dev/null
[ "$(ls "$work/first/bin")" = sayrella ] || fail "bin holds more than the program: $(ls "$work/first/bin")"
for f in libexec/sayrella/sayrella-synth libexec/sayrella/msiexec share/sayrella/msc share/sayrella/machine.reg \
         share/man/man1/sayrella.1 share/metainfo/io.github.sayrella.Sayrella.metainfo.xml \
         share/applications/io.github.sayrella.Sayrella.desktop share/icons/hicolor/scalable/apps/io.github.sayrella.Sayrella.svg; do
  [ -e "$work/first/$f" ] || fail "not installed: $f"
done
mv "$work/first" "$work/moved"

start_reader "$work/moved/bin/sayrella"
[ -e "$XDG_DATA_HOME/sayrella/voices/cmn-sayrella" ] || fail "the voice was not installed from the moved prefix"
press_speak
sleep 0.5
level=$(heard 1); loud "$level" || fail "the moved installation does not speak ($level)"
close_reader

# Without its synthesis helper the start-up says where it looked.
rm "$work/moved/libexec/sayrella/sayrella-synth"
set +e
out=$(QT_QPA_PLATFORM=offscreen timeout 20 "$work/moved/bin/sayrella" --list-voices 2>&1)
set -e
echo "$out" | grep -q "$work/moved/libexec/sayrella/sayrella-synth" || fail "a missing helper is not named: $out"
echo "PASS"
