# A map converted by dem2map from an elevation grid, 8-bit and 16-bit, and
# the 16-bit one opens in the viewer.
source "$E2E_LIB"
make_scratch
DEM2MAP=${DEM2MAP:?the converter to test}
[ -x "$DEM2MAP" ] || fail "no dem2map at $DEM2MAP"

# An ASCII grid, 256 x 200 cells: a cone 500 m high on ground at 500 m.
awk 'BEGIN {
    w = 256; h = 200
    print "ncols " w; print "nrows " h
    print "xllcorner 0"; print "yllcorner 0"; print "cellsize 1"
    for (r = 0; r < h; r++) {
        line = ""
        for (c = 0; c < w; c++) {
            d = sqrt((c - 127.5) ^ 2 + (r - 99.5) ^ 2) * 50
            t = (4000 - d) / 3800; if (t > 1) t = 1; if (t < 0) t = 0
            line = line sprintf(" %.1f", 500 + 500 * t)
        }
        print substr(line, 2)
    }
}' >"$SCRATCH/cone.asc"

# The viewer's own maps stay out of this: a maps directory of its own.
rm -f "$SCRATCH/maps"
mkdir "$SCRATCH/maps"
# The 8-bit map and the 16-bit one: the same scale, 257 times the levels.
"$DEM2MAP" "$SCRATCH/cone.asc" "$SCRATCH/maps/cone.bmp" --width 12800 \
    >"$SCRATCH/dem2map.txt" 2>"$SCRATCH/stderr.txt" || fail "dem2map failed"
grep -q -x "exaggeration 1.00" "$SCRATCH/dem2map.txt" || fail "not at true scale: $(cat "$SCRATCH/dem2map.txt")"
grep -q -x "levels: 175 used of 256 (8-bit BMP), 2.88 m of elevation a level" "$SCRATCH/dem2map.txt" ||
    fail "the 8-bit levels: $(cat "$SCRATCH/dem2map.txt")"
"$DEM2MAP" "$SCRATCH/cone.asc" "$SCRATCH/maps/cone.png" --width 12800 \
    >"$SCRATCH/dem2map.txt" 2>"$SCRATCH/stderr.txt" || fail "dem2map failed on a .png map"
grep -q -x "exaggeration 1.00" "$SCRATCH/dem2map.txt" || fail "the .png not at true scale"
grep -q -x "levels: [0-9]* used of 65536 (16-bit PNG), 0.0112 m of elevation a level" \
    "$SCRATCH/dem2map.txt" || fail "the 16-bit levels: $(cat "$SCRATCH/dem2map.txt")"
[ "$(od -An -tu1 -j24 -N2 "$SCRATCH/maps/cone.png" | xargs)" = "16 0" ] ||
    fail "cone.png is $(file "$SCRATCH/maps/cone.png")"

start_vorn cone.png
[ "$(xdotool getwindowname "$WINDOW")" = "terrain size: 200 x 200" ] ||
    fail "window title is '$(xdotool getwindowname "$WINDOW")'"
xdotool key Escape
wait_exit
expect_status 0
expect_clean_stderr
grep -q '^ERROR' "$SCRATCH/debug.txt" && fail "errors in the log"
echo "dem2map: ok"
