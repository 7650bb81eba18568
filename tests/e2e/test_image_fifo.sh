# A map that is a named pipe nobody writes blocks the decoder's open: the
# viewer gives the decode up after its 20 s wall-clock limit and ends with
# status 255. The one test that waits out that limit.
source "$E2E_LIB"
make_scratch
rm "$SCRATCH/maps"
mkdir "$SCRATCH/maps"
mkfifo "$SCRATCH/maps/pipe.bmp"

run_vorn pipe.bmp
expect_status 255
expect_clean_stderr
[ ! -s "$SCRATCH/stdout.txt" ] || fail "the viewer wrote to standard output"
expected="ERROR: loading map file maps/pipe.bmp failed with error: the image decoder did not finish within 20 s and was stopped"
[ "$(tail -n 1 "$SCRATCH/debug.txt")" = "$expected" ] ||
    fail "the last log line is '$(tail -n 1 "$SCRATCH/debug.txt")'"
echo "image fifo: ok"
