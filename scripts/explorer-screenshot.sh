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
shot=$build/bin/explorer-shot

if [[ ! -x $shot ]]; then
    echo "explorer-screenshot: $shot is missing; build it first" \
         "(cmake --build $build --target explorer-shot)" >&2
    exit 1
fi
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "explorer-screenshot: Xvfb is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

start_virtual_display explorer-screenshot "$work"
mkdir -m 700 "$work/runtime"
mkdir -p "$(dirname "$picture")"
XDG_RUNTIME_DIR=$work/runtime DBUS_SESSION_BUS_ADDRESS=disabled: timeout 120 "$shot" "$picture"
echo "explorer-screenshot: the window is in $picture"
