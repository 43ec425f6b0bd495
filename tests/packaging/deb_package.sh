#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, as a person would get it: `make deb` from the source
# tree, lintian without errors, installed with apt-get, then started from its
# menu entry for a new user: the first run installs the voice and Speak is
# heard. Slow and it installs system-wide, so it runs only when asked:
#   SAYRELLA_DEB_TEST=1 ctest -R deb_package
#   deb_package.sh SOURCE-FOLDER   (under tools/with-test-display.sh and tools/with-test-audio.sh)
set -euo pipefail
[ "${SAYRELLA_DEB_TEST:-}" = 1 ] || { echo "skipped: set SAYRELLA_DEB_TEST=1 to build and install the package"; exit 77; }
source=$1
. "$(dirname "$0")/../e2e/lib.sh"
sudo=$([ "$(id -u)" = 0 ] || echo sudo)

make -C "$source" deb >"$work/deb.log" 2>&1 || { tail -40 "$work/deb.log"; fail "make deb failed"; }
package=$(ls "$source"/out/deb/sayrella_*.deb)
if grep -q '^E:' "$source/out/deb/lintian.txt"; then fail "lintian errors: $(grep '^E:' "$source/out/deb/lintian.txt")"; fi
echo "lintian: $(grep -c '^[EW]:' "$source/out/deb/lintian.txt" || true) errors and warnings"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall "$package" >"$work/apt.log" 2>&1 \
  || { tail -20 "$work/apt.log"; fail "the package does not install"; }

# The speech-dispatcher module where the server looks for it, with its configuration.
[ -x /usr/lib/speech-dispatcher-modules/sd_sayrella ] || fail "the package has no speech-dispatcher module"
[ -f /etc/speech-dispatcher/modules/sayrella.conf ] || fail "the package has no module configuration"

# Started as the menu starts it: the entry's command, without a file.
entry=/usr/share/applications/io.github.sayrella.Sayrella.desktop
command=$(sed -n 's/^Exec=//p' "$entry" | sed 's/ %[fFuU]//')
[ "$(command -v "${command%% *}")" = /usr/bin/sayrella ] || fail "the menu entry does not start the installed program"
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
start_reader "$command"
[ -e "$XDG_DATA_HOME/sayrella/voices/cmn-sayrella" ] || fail "the first run did not install the voice"
press_speak
sleep 0.5
level=$(heard 1); loud "$level" || fail "the installed program is not heard ($level)"
echo "heard: RMS $level"
close_reader
echo PASS
