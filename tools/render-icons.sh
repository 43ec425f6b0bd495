#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the program's icon (src/resources/icons/*.svg) to the PNG sizes the
# desktop and the program itself use. Run after changing the drawing; the
# PNGs are kept in the tree so that a build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/../src/resources/icons"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" io.github.sayrella.Sayrella.svg -o "sayrella-$size.png"
done
