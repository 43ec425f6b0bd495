#!/usr/bin/env bash
# Starts the reader on the current display.
set -euo pipefail
build=${1:-build}
exec "$build/src/app/sayrella"
