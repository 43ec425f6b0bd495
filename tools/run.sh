#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the reader on the current display. Without one, shows it working on
# a private display instead and leaves a screenshot and a recording in out/.
set -euo pipefail
build=${1:-build}
here=$(dirname "$0")
app="$build/bin/sayrella"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$app"
fi
echo "No display: running the reader on a private display and recording what it says."
exec "$here/with-test-display.sh" "$here/with-test-audio.sh" "$here/demo-headless.sh" "$app" out
