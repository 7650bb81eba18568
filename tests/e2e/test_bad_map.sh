# A map that cannot be used ends the run with status -1 (255 to the shell),
# the loader's line last in the log, and no window.
source "$E2E_LIB"
make_scratch
rm "$SCRATCH/maps"
mkdir "$SCRATCH/maps"

run_vorn missing.bmp
expect_status 255
expect_clean_stderr
last=$(tail -n 1 "$SCRATCH/debug.txt")
case "$last" in
"ERROR: loading map file maps/missing.bmp failed with error: "?*) ;;
*) fail "last log line is '$last'" ;;
esac
grep -q "entering fullscreen" "$SCRATCH/debug.txt" && fail "a window was opened"

printf 'BM' >"$SCRATCH/maps/short.bmp"
run_vorn short.bmp
expect_status 255
expect_clean_stderr
tail -n 1 "$SCRATCH/debug.txt" | grep -q "^ERROR: loading map file maps/short.bmp failed with error: " ||
    fail "truncated map not refused by the loader"

echo "bad map: ok"
