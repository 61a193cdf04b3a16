#!/usr/bin/env bash
# Starts the program built in <build dir>. On a machine without a display it runs the program on
# a virtual X server instead, saves a screenshot of its window to <build dir>/percolation.png and
# closes it again, so that a headless machine still shows the program at work.
set -euo pipefail
source "$(dirname "$0")/virtual-display.sh"

build=${1:?usage: scripts/run.sh <build dir>}
program=$build/bin/percolation
grab=$build/bin/grab-screen
title="Percolation on a square lattice"
# The centre of the "Quit" button, in window coordinates.
quit_x=900
quit_y=622

if [[ ! -x $program ]]; then
    echo "run: $program is missing; build it first (make build)" >&2
    exit 1
fi

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    exec "$program"
fi

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run: no display, and $tool is missing to make a virtual one" \
             "(scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
done

work=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
    if [[ -n $program_pid ]] && kill -0 "$program_pid" 2>/dev/null; then
        kill "$program_pid" 2>/dev/null || true
    fi
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

start_virtual_display run "$work"
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR=$work/runtime
fi
echo "run: no display; running on the virtual X display $DISPLAY"

"$program" &
program_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$title\$" | head -n 1) || true
if [[ -z $window ]]; then
    echo "run: the window did not appear" >&2
    exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$window")"

picture=$build/percolation.png
"$grab" "$X" "$Y" "$WIDTH" "$HEIGHT" "$picture"

xdotool mousemove --sync $((X + quit_x)) $((Y + quit_y)) click 1
status=0
timeout 10 tail --pid="$program_pid" -f /dev/null || kill "$program_pid" 2>/dev/null || true
wait "$program_pid" || status=$?
program_pid=

echo "run: the program ran and quit (exit status $status);" \
     "its window is in $(realpath "$picture")"
