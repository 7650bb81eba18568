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
        (cd "$SCRATCH" && exec "$VORN_BIN" "$@" >"$SCRATCH/stdout.txt" 2>"$SCRATCH/stderr.txt")
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
    local attempt i
    for attempt in 1 2 3 4 5; do
        (cd "$SCRATCH" && exec "$VORN_BIN" "$@" >"$SCRATCH/stdout.txt" 2>"$SCRATCH/stderr.txt") &
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
