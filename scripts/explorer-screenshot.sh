#!/usr/bin/env bash
# Saves a picture of the explorer near the threshold, made on a virtual X display so that it
# looks the same on every machine:
#
#     scripts/explorer-screenshot.sh <build dir> [picture]
#
# The picture defaults to docs/explorer.png.
set -euo pipefail
source "$(dirname "$0")/virtual-display.sh"

build=${1:?usage: scripts/explorer-screenshot.sh <build dir> [picture]}
picture=${2:-$(dirname "$0")/../docs/explorer.png}
mkdir -p "$(dirname "$picture")"
take_picture explorer-screenshot "$build/bin/explorer-shot" "$picture"
echo "explorer-screenshot: the window is in $picture"
