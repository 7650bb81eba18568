# Real key presses: numbered screenshots, the full-screen flip, the help
# panel, the render switches, quitting, and a key queued behind a close.
source "$E2E_LIB"
make_scratch

# Everything above the bottom rows, where the frame rate changes.
SCENE=800x570+0+0

# Waits until the viewer has written a whole screenshot of w x h.
wait_for_shot() {
    local file=$SCRATCH/$1 size=$((54 + $2 * $3 * 3)) i
    for i in $(seq 1 600); do
        [ -f "$file" ] && [ "$(stat -c %s "$file")" -eq "$size" ] && return 0
        sleep 0.1
    done
    fail "no $1 of $2 x $3"
}

start_vorn mapa256.bmp
drawn() { below "$(region_mean "$1" 500x400+175+100)" 0.9; }
capture_until "$SCRATCH/start.png" drawn
capture_settled "$SCRATCH/start.png"

# p twice writes screen1.bmp and screen2.bmp: upright 24-bit pictures of the
# window, the same as what the display shows.
xdotool key p
wait_for_shot screen1.bmp 800 600
xdotool key p
wait_for_shot screen2.bmp 800 600
[ "$(identify -format '%w %h %z' "$SCRATCH/screen1.bmp")" = "800 600 8" ] ||
    fail "screen1.bmp is $(identify -format '%w x %h, depth %z, %[type]' "$SCRATCH/screen1.bmp")"
identify -verbose "$SCRATCH/screen1.bmp" | grep -q -i "type: truecolor" || fail "not a true-colour file"
convert "$SCRATCH/screen1.bmp" "$SCRATCH/screen1.png"
capture "$SCRATCH/now.png"
[ "$(region_diff "$SCRATCH/screen1.png" "$SCRATCH/now.png" $SCENE)" -eq 0 ] ||
    fail "the screenshot differs from the window"

# h hides the panel (the scene beside it stays) and shows it again.
hidden() { [ "$(region_diff "$SCRATCH/start.png" "$1" 500x400+175+100)" -gt 10000 ]; }
same_as_start() { [ "$(region_diff "$SCRATCH/start.png" "$1" $SCENE)" -eq 0 ]; }
xdotool key h
capture_until "$SCRATCH/nohelp.png" hidden
[ "$(region_diff "$SCRATCH/start.png" "$SCRATCH/nohelp.png" 140x560+0+0)" -eq 0 ] ||
    fail "hiding the help changed the scene"
xdotool key h
capture_until "$SCRATCH/again.png" same_as_start
xdotool key h
capture_until "$SCRATCH/nohelp.png" hidden

# Each switch changes the picture, and a second press gives it back.
same_as_nohelp() { [ "$(region_diff "$SCRATCH/nohelp.png" "$1" $SCENE)" -eq 0 ]; }
changed() { [ "$(region_diff "$SCRATCH/nohelp.png" "$1" $SCENE)" -gt 1000 ]; }
for key in q m l t; do
    xdotool key $key
    capture_until "$SCRATCH/switched-$key.png" changed
    xdotool key $key
    capture_until "$SCRATCH/back-$key.png" same_as_nohelp
done

# Upper case acts as lower case: shift+p saves the next screenshot.
xdotool key shift+p
wait_for_shot screen3.bmp 800 600

# f leaves full screen for a 640 x 480 window, and screenshots follow it.
xdotool key f
for _ in $(seq 1 300); do
    xwininfo -root -tree | grep -q "(has no name): ()  640x480+" && break
    sleep 0.1
done
xwininfo -root -tree | grep -q "(has no name): ()  640x480+" || fail "no 640 x 480 window"
xdotool key p
wait_for_shot screen4.bmp 640 480

# Escape ends the viewer at once with status 0.
xdotool key Escape
wait_exit
expect_status 0
expect_clean_stderr
grep -q '^ERROR' "$SCRATCH/debug.txt" && fail "errors in the log"

# A key press queued behind a close request still runs: with the viewer
# stopped, both wait in its queue and are handled in one turn.
rm -f "$SCRATCH"/screen*.bmp
start_vorn mapa256.bmp
capture_until "$SCRATCH/start.png" drawn
kill -STOP "$VORN_PID"
close_window
xdotool key p
kill -CONT "$VORN_PID"
wait_exit
expect_status 0
expect_clean_stderr
wait_for_shot screen1.bmp 800 600
echo "keys: ok"
