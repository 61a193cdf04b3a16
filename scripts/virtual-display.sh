# Sourced by the scripts that show a window on a machine without a display.
#
#   start_virtual_display <name for messages> <scratch folder>
#
# starts Xvfb on a free display, sets xvfb_pid and exports DISPLAY and QT_QPA_PLATFORM=xcb;
# stop_virtual_display ends it. The caller removes the scratch folder.

start_virtual_display() {
    local name=$1 work=$2 display_number=
    # Xvfb chooses a free display itself and reports its number once it accepts clients.
    mkfifo "$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -dpi 96 -nolisten tcp \
        3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    read -r -t 30 display_number <"$work/display" || true
    if [[ -z $display_number ]]; then
        echo "$name: the virtual X server did not start:" >&2
        cat "$work/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=:$display_number
    export QT_QPA_PLATFORM=xcb
}

stop_virtual_display() {
    if [[ -n ${xvfb_pid:-} ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}

# take_picture <name for messages> <program> [arguments…]
#
# Runs a program that saves a picture of a window, on a virtual display of its own with a runtime
# folder of its own, and stops the display again whatever happens.
take_picture() {
    local name=$1 program=$2
    shift 2
    if [[ ! -x $program ]]; then
        echo "$name: $program is missing; build it first" \
             "(cmake --build <build dir> --target $(basename "$program"))" >&2
        return 1
    fi
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "$name: Xvfb is missing (scripts/install-deps.sh installs it)" >&2
        return 1
    fi
    picture_work=$(mktemp -d)
    xvfb_pid=
    trap 'stop_virtual_display; rm -rf "$picture_work"' EXIT
    start_virtual_display "$name" "$picture_work"
    mkdir -m 700 "$picture_work/runtime"
    XDG_RUNTIME_DIR=$picture_work/runtime DBUS_SESSION_BUS_ADDRESS=disabled: \
        timeout 600 "$program" "$@"
}
