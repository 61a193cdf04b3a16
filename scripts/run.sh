#!/usr/bin/env bash
# Starts the program built in <build dir>. On a machine without a display it runs the program on
# a virtual X server instead, saves a screenshot of its window to <build dir>/percolation.png and
# closes it again, so that a headless machine still shows the program at work.
set -euo pipefail

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
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb chooses a free display itself and reports its number once it accepts clients.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -dpi 96 -nolisten tcp \
    3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display_number=
read -r -t 30 display_number <"$work/display" || true
if [[ -z $display_number ]]; then
    echo "run: the virtual X server did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=:$display_number
export QT_QPA_PLATFORM=xcb
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
