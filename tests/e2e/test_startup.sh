# Start-up without and with a map name, the log, the window title, and a
# clean end when the window is closed.
source "$E2E_LIB"
make_scratch

start_vorn
[ "$(xdotool getwindowname "$WINDOW")" = "terrain size: 512 x 512" ] ||
    fail "window title is '$(xdotool getwindowname "$WINDOW")'"
close_window
wait_exit
expect_status 0
expect_clean_stderr

expected=$(cat <<LOG
NO MAP SPECIFIED !!
usage: $VORN_BIN [map_file]
example: $VORN_BIN mapa256.bmp
note: maps must be in maps directory
 ---- using default map: mapa.bmp ----
LOG
)
head -n 1 "$SCRATCH/debug.txt" | grep -q -E '^vorn version: 0\.3\.0 by tesk \(.+\)$' ||
    fail "the log does not start with the banner"
[ "$(sed -n 2p "$SCRATCH/debug.txt")" = "" ] || fail "no blank line after the banner"
[ "$(sed -n 3,7p "$SCRATCH/debug.txt")" = "$expected" ] || fail "usage lines differ"
log_has_line "info: entering fullscreen!"
grep -q '^ERROR' "$SCRATCH/debug.txt" && fail "errors in the log"

# Two arguments: only the first counts, and no usage note is written.
start_vorn mapa256.bmp mapa1024.bmp
[ "$(xdotool getwindowname "$WINDOW")" = "terrain size: 256 x 256" ] ||
    fail "window title is '$(xdotool getwindowname "$WINDOW")'"
close_window
wait_exit
expect_status 0
expect_clean_stderr
grep -q "NO MAP SPECIFIED" "$SCRATCH/debug.txt" && fail "usage note written with a map name"
log_has_line "info: entering fullscreen!"
echo "startup: ok"
