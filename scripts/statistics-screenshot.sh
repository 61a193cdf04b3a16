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
shot=$build/bin/statistics-shot

if [[ ! -x $shot ]]; then
    echo "statistics-screenshot: $shot is missing; build it first" \
         "(cmake --build $build --target statistics-shot)" >&2
    exit 1
fi
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "statistics-screenshot: Xvfb is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

start_virtual_display statistics-screenshot "$work"
mkdir -m 700 "$work/runtime"
mkdir -p "$(dirname "$picture")"
XDG_RUNTIME_DIR=$work/runtime \
    DBUS_SESSION_BUS_ADDRESS=disabled: timeout 600 "$shot" "$samples" "$picture"
echo "statistics-screenshot: the window is in $picture"
