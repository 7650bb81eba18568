# Shared steps of the end-to-end tests: a scratch directory with the viewer's
# data, starting the built viewer on the test display, waiting for its window
# and its exit.  Sourced by the test_*.sh scripts.
set -u

: "${VORN_BIN:?VORN_BIN names the viewer}"
: "${VORN_DATA:?VORN_DATA names the build directory with maps, textures and fonts}"

fail() {
    echo "FAIL: $*" >&2
    if [ -n "${SCRATCH:-}" ] && [ -f "$SCRATCH/debug.txt" ]; then
        echo "---- debug.txt ----" >&2
        cat "$SCRATCH/debug.txt" >&2
    fi
    if [ -n "${SCRATCH:-}" ] && [ -s "$SCRATCH/stderr.txt" ]; then
        echo "---- stderr ----" >&2
        cat "$SCRATCH/stderr.txt" >&2
    fi
    exit 1
}

# The virtual display now and then resets a new client's connection. The X
# tools the tests use retry such a refused start a few times; any other
# failure is passed on as it is.
x_retry() {
    local attempt out err status
    err=$(mktemp)
    for attempt in 1 2 3 4 5; do
        out=$(command "$@" 2>"$err")
        status=$?
        if [ $status -ne 0 ] && grep -q -i -E "open display|open X server|xdo instance" "$err"; then
            sleep 0.2
            continue
        fi
        break
    done
    cat "$err" >&2
    rm -f "$err"
    [ -n "$out" ] && printf '%s\n' "$out"
    return $status
}
xdotool() { x_retry xdotool "$@"; }
xwininfo() { x_retry xwininfo "$@"; }
xdpyinfo() { x_retry xdpyinfo "$@"; }
import() { x_retry import "$@"; }

# Runs the viewer in place of the calling shell, with the library that keeps
# GL drivers loaded in sanitized runs, so that their leaks are named.
exec_vorn() {
    if [ -n "${VORN_PRELOAD:-}" ]; then
        LD_PRELOAD="$VORN_PRELOAD" exec "$VORN_BIN" "$@"
    fi
    exec "$VORN_BIN" "$@"
}

# Makes $SCRATCH, a directory holding links to the viewer's data directories.
make_scratch() {
    SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/vorn-e2e-XXXXXX")
    for dir in maps textures fonts; do
        [ -d "$VORN_DATA/$dir" ] && ln -s "$VORN_DATA/$dir" "$SCRATCH/$dir"
    done
    trap cleanup EXIT
}

cleanup() {
    if [ -n "${VORN_PID:-}" ] && kill -0 "$VORN_PID" 2>/dev/null; then
        kill -9 "$VORN_PID" 2>/dev/null
        wait "$VORN_PID" 2>/dev/null
    fi
    [ -n "${SCRATCH:-}" ] && rm -rf "$SCRATCH"
}

# The display refused the connection: the one start failure that is retried.
display_refused() {
    grep -q -E "starting the video subsystem failed|Couldn't open X11 display|Unable to open a display" \
        "$SCRATCH/debug.txt" 2>/dev/null
}

# Runs the viewer to its end in $SCRATCH with the given arguments, without
# waiting for a window; sets STATUS. Used for runs that must not open one.
run_vorn() {
    local attempt
    for attempt in 1 2 3 4 5; do
        (cd "$SCRATCH" && exec_vorn "$@" >"$SCRATCH/stdout.txt" 2>"$SCRATCH/stderr.txt")
        STATUS=$?
        if [ "$STATUS" -eq 255 ] && display_refused; then
            echo "display refused the connection, attempt $attempt" >&2
            sleep 0.5
            continue
        fi
        return 0
    done
}

# Starts the viewer in $SCRATCH and waits until its window carries the title
# that start-up sets last. Sets VORN_PID and WINDOW.
start_vorn() {
    local attempt i screen
    # The full-screen window is centred on the screen; a pointer already at
    # its centre sends the viewer no turn when the window appears.
    screen=$(xdpyinfo | awk '/dimensions:/ {print $2}')
    xdotool mousemove $((${screen%x*} / 2)) $((${screen#*x} / 2))
    # Standard output gathers every attempt: a conversion that an attempt
    # made is said only once, and a retry finds it done.
    : >"$SCRATCH/stdout.txt"
    for attempt in 1 2 3 4 5; do
        (cd "$SCRATCH" && exec_vorn "$@" >>"$SCRATCH/stdout.txt" 2>"$SCRATCH/stderr.txt") &
        VORN_PID=$!
        WINDOW=""
        for i in $(seq 1 1200); do
            WINDOW=$(xdotool search --name '^terrain size: ' 2>/dev/null | head -n 1)
            [ -n "$WINDOW" ] && return 0
            kill -0 "$VORN_PID" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$VORN_PID" 2>/dev/null; then
            fail "no viewer window after two minutes"
        fi
        wait "$VORN_PID"
        STATUS=$?
        VORN_PID=""
        if [ "$STATUS" -eq 255 ] && display_refused; then
            echo "display refused the connection, attempt $attempt" >&2
            sleep 0.5
            continue
        fi
        fail "the viewer ended with status $STATUS before its window appeared"
    done
    fail "the display refused the connection five times"
}

# Waits for the viewer to end by itself (two minutes at most); sets STATUS.
wait_exit() {
    local i
    for i in $(seq 1 1200); do
        kill -0 "$VORN_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$VORN_PID" 2>/dev/null && fail "the viewer did not end"
    wait "$VORN_PID"
    STATUS=$?
    VORN_PID=""
}

# Asks the viewer's window to close, as a window manager would.
close_window() {
    "$XCLOSE" "$WINDOW" || fail "could not send the close request"
}

# The sanitizers print to standard error; nothing of theirs may be there.
expect_clean_stderr() {
    if grep -q -E "AddressSanitizer|LeakSanitizer|runtime error:|UndefinedBehaviorSanitizer" \
        "$SCRATCH/stderr.txt" 2>/dev/null; then
        fail "the sanitizers reported a fault"
    fi
}

expect_status() {
    [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1"
}

# The log's lines, exactly.
log_has_line() {
    grep -q -x -F -- "$1" "$SCRATCH/debug.txt" || fail "the log lacks the line: $1"
}

# Saves what the viewer's GL window shows as a PNG. The GL window is the
# unnamed X window of the video mode's size (default 800x600).
capture() {
    local out=$1 size=${2:-800x600} id
    id=$(xwininfo -root -tree | awk -v s=" ${size}+" 'index($0, "(has no name)") && index($0, s) {print $1; exit}')
    [ -n "$id" ] || fail "no GL window of $size: $(xwininfo -root -tree)"
    import -window "$id" "$out" 2>/dev/null || fail "could not capture window $id"
}

# Mean brightness (0..1) of a region WxH+X+Y of a picture (X, Y from its top left).
region_mean() {
    convert "$1" -crop "$2" +repage -colorspace Gray -format "%[fx:mean]" info:
}

# Mean of one channel (r, g or b) of a region.
region_channel() {
    convert "$1" -crop "$2" +repage -format "%[fx:mean.$3]" info:
}

# Number of pixels that differ between the same region of two pictures.
region_diff() {
    convert "$1" -crop "$3" +repage "$SCRATCH/diff-a.png"
    convert "$2" -crop "$3" +repage "$SCRATCH/diff-b.png"
    compare -metric AE "$SCRATCH/diff-a.png" "$SCRATCH/diff-b.png" null: 2>&1 | cut -d' ' -f1
}

# Darkest grey level (0..1) of a region.
region_min() {
    convert "$1" -crop "$2" +repage -colorspace Gray -format "%[fx:minima]" info:
}

# Succeeds when a number is below a bound (both may be fractions).
below() {
    awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'
}

# Captures until check_fn (given the picture's path) succeeds, for up to a
# minute: the viewer draws continuously, this waits for a frame that shows
# what the check wants rather than for a time.
capture_until() {
    local out=$1 check=$2 size=${3:-800x600} i
    for i in $(seq 1 300); do
        capture "$out" "$size"
        "$check" "$out" && return 0
        sleep 0.2
    done
    fail "no frame passed $check within a minute"
}

# Captures until two pictures in a row agree above the frame-rate text: the
# first frames may still take in a pointer report from the window's mapping.
capture_settled() {
    local out=$1 size=${2:-800x600} i w h
    w=${size%x*}
    h=${size#*x}
    capture "$out" "$size"
    for i in $(seq 1 300); do
        sleep 0.2
        capture "$SCRATCH/settle.png" "$size"
        if [ "$(region_diff "$out" "$SCRATCH/settle.png" "${w}x$((h - 30))+0+0")" -eq 0 ]; then
            return 0
        fi
        mv "$SCRATCH/settle.png" "$out"
    done
    fail "the picture did not settle within a minute"
}
