#!/usr/bin/env bash
# Saves a picture of the statistics window after a short sweep, made on a virtual X display so
# that it looks the same on every machine:
#
#     scripts/statistics-screenshot.sh <build dir> [samples per size] [picture]
#
# The picture defaults to docs/statistics-window.png, the sweep to 200 samples of each size.
set -euo pipefail
source "$(dirname "$0")/virtual-display.sh"

build=${1:?usage: scripts/statistics-screenshot.sh <build dir> [samples per size] [picture]}
samples=${2:-200}
picture=${3:-$(dirname "$0")/../docs/statistics-window.png}
mkdir -p "$(dirname "$picture")"
take_picture statistics-screenshot "$build/bin/statistics-shot" "$samples" "$picture"
echo "statistics-screenshot: the window is in $picture"
