# Sourced by scripts/demo and bench/line-rate: a headless X display, and the window driven as
# an operator would drive it. Expects wait_for from the caller's scope or defines it.

# waits up to $1 seconds for the command after it to succeed
wait_for() {
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    until "$@"; do
        if ((SECONDS >= end)); then
            return 1
        fi
        sleep 0.1
    done
}

# A fresh work folder $1, entered; the processes put into children are killed at exit.
desktop_work_folder() {
    rm -rf "$1"
    mkdir -p "$1"
    cd "$1"
    children=()
    trap desktop_kill_children EXIT
}
desktop_kill_children() {
    local p
    for p in "${children[@]}"; do
        kill "$p" 2>/dev/null || true
    done
}

# Starts Xvfb on a free display number and exports DISPLAY; sets xvfb_pid. $1: log file;
# $2: the screen's size (default 1024x720).
desktop_start_xvfb() {
    local n=99
    while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 "${2:-1024x720}x24" -nolisten tcp >"$1" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    if ! wait_for 10 test -S "/tmp/.X11-unix/X$n"; then
        cat "$1" >&2
        echo "Xvfb did not start" >&2
        return 1
    fi
}

# Builds (once) the program that closes a window as a window manager does
# (WM_DELETE_WINDOW), so that the monitor ends normally and finishes its capture; xdotool
# cannot send that message. $1: build directory. Sets closer.
desktop_build_closer() {
    closer="$1/vemor-close-window"
    if [[ -x $closer ]]; then
        return 0
    fi
    c++ -O2 -x c++ - -o "$closer" -lX11 <<'CPP'
#include <X11/Xlib.h>
#include <cstdio>
#include <cstdlib>
int main(int argc, char** argv) {
    Display* d = XOpenDisplay(nullptr);
    if (argc != 2 || d == nullptr) {
        std::fprintf(stderr, "usage: vemor-close-window WINDOW (with DISPLAY set)\n");
        return 2;
    }
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = static_cast<Window>(std::strtoul(argv[1], nullptr, 0));
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
CPP
}

# Finds the monitor's window; sets window.
desktop_find_window() {
    window=$(xdotool search --onlyvisible --name '^Vemor$' 2>/dev/null | head -n 1)
    [[ -n $window ]]
}

# Clicks Open (Button1) or Save File (Button2). The client area is 921 x 580 pixels below the
# menu bar; the buttons sit in the control strip: Open at (16,8), Save File at (208,8), 75 x 25.
# A window that draws its own frame (Wine's, with no window manager) has a border of the same
# width on the left, right and bottom.
desktop_click_button() {
    local x
    case $1 in
    open) x=16 ;;
    save) x=208 ;;
    *) return 2 ;;
    esac
    local WIDTH HEIGHT X Y SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$window")"
    local border=$(((WIDTH - 921) / 2))
    local top=$((HEIGHT - border - 580))
    xdotool mousemove --window "$window" $((border + x + 37)) $((top + 8 + 12)) click 1
}

# Closes the window and waits for process $1 to end.
desktop_close_window() {
    "$closer" "$window"
    wait_for 10 bash -c "! kill -0 $1 2>/dev/null"
}
