# Without an X display the video set-up fails cleanly: status -1, and the log
# says why.
source "$E2E_LIB"
make_scratch

(cd "$SCRATCH" && unset DISPLAY && exec_vorn mapa256.bmp >"$SCRATCH/stdout.txt" 2>"$SCRATCH/stderr.txt")
STATUS=$?
expect_status 255
expect_clean_stderr
grep -q "^ERROR: starting the video subsystem failed with error: ." "$SCRATCH/debug.txt" ||
    fail "no line on the video subsystem"
[ "$(tail -n 1 "$SCRATCH/debug.txt")" = "ERROR: InitGL() failed!" ] || fail "last line differs"

# A display that does not exist is refused the same way.
(cd "$SCRATCH" && export DISPLAY=:4093 && exec_vorn mapa256.bmp >"$SCRATCH/stdout.txt" 2>"$SCRATCH/stderr.txt")
STATUS=$?
expect_status 255
expect_clean_stderr
[ "$(tail -n 1 "$SCRATCH/debug.txt")" = "ERROR: InitGL() failed!" ] || fail "last line differs"
# A map that cannot be used is what the log reports, even without a display:
# the media layer starts while the map is read, but is only blamed once the
# map has been taken.
(cd "$SCRATCH" && unset DISPLAY && exec_vorn missing.bmp >"$SCRATCH/stdout.txt" 2>"$SCRATCH/stderr.txt")
STATUS=$?
expect_status 255
expect_clean_stderr
tail -n 1 "$SCRATCH/debug.txt" | grep -q "^ERROR: loading map file maps/missing.bmp failed with error: " ||
    fail "the map's failure is not the last line"
grep -q "video subsystem" "$SCRATCH/debug.txt" && fail "the video subsystem was blamed for a bad map"
echo "no display: ok"
