# What the viewer shows: the help panel over the scene from the first frame,
# the frame rate and the banner, a white panel when the help image is
# missing, and mouse look turning the view.
source "$E2E_LIB"
make_scratch

# A frame has been drawn once the top of the window is not the plain clear colour
# and the panel is there.
drawn() {
    below "$(region_mean "$1" 500x400+175+100)" 0.9
}

start_vorn
capture_until "$SCRATCH/start.png" drawn
capture_settled "$SCRATCH/start.png"

# The panel covers x 150-700 and y 50-550 (the same rows counted from the top):
# a dark translucent panel over a pale, hazy scene.
below "$(region_mean "$SCRATCH/start.png" 500x400+175+100)" 0.45 || fail "no dark help panel"
below 0.6 "$(region_mean "$SCRATCH/start.png" 140x500+0+50)" || fail "scene left of the panel is dark"
below 0.6 "$(region_mean "$SCRATCH/start.png" 90x500+710+50)" || fail "scene right of the panel is dark"
# The sky, at the top, is not covered.
below 0.9 "$(region_mean "$SCRATCH/start.png" 800x40+0+0)" || fail "no bright sky at the top"

# The frame rate at (10, 0) and the banner at (width - 260, 0): dark text on
# the bottom rows, none just above them.
below "$(region_min "$SCRATCH/start.png" 100x14+10+586)" 0.35 || fail "no frame-rate text"
below "$(region_min "$SCRATCH/start.png" 250x14+542+586)" 0.35 || fail "no banner"
below 0.35 "$(region_min "$SCRATCH/start.png" 780x14+10+560)" || fail "text above the bottom rows"

# Moving the mouse turns the view: the scene beside the panel changes.
GL=$(xwininfo -root -tree | awk '/has no name/ && / 800x600\+/ {print $1; exit}')
xdotool mousemove --window "$GL" 600 150
turned() {
    [ "$(region_diff "$SCRATCH/start.png" "$1" 140x480+0+60)" -gt 2000 ]
}
capture_until "$SCRATCH/turned.png" turned
close_window
wait_exit
expect_status 0
expect_clean_stderr
grep -q '^ERROR' "$SCRATCH/debug.txt" && fail "errors in the log"

# Without the help image the panel is a plain white rectangle, and the rest
# of the first picture is the same as with it.
rm "$SCRATCH/textures"
mkdir "$SCRATCH/textures"
for file in "$VORN_DATA"/textures/*; do
    [ "$(basename "$file")" = help.bmp ] || ln -s "$file" "$SCRATCH/textures/"
done
mv "$SCRATCH/start.png" "$SCRATCH/with-help.png"
white_panel() {
    [ "$(region_min "$1" 550x500+150+50)" = 1 ]
}
start_vorn
capture_until "$SCRATCH/start.png" white_panel
capture_settled "$SCRATCH/start.png"
[ "$(region_diff "$SCRATCH/start.png" "$SCRATCH/with-help.png" 150x560+0+0)" -eq 0 ] ||
    fail "the scene beside the white panel differs"
close_window
wait_exit
expect_status 0
expect_clean_stderr
grep -q "^ERROR: loading help failed with error: " "$SCRATCH/debug.txt" ||
    fail "no line about the missing help image"
echo "scene: ok"
