# A font file that cannot be used ends start-up: status -1 (255 to the
# shell), the font's message and start-up's own on one last line, and a
# clean exit without sanitizer reports.
source "$E2E_LIB"
make_scratch
real_font="$VORN_DATA/fonts/bkant.bmf"
[ -f "$real_font" ] || fail "no compiled font at $real_font"
rm "$SCRATCH/fonts"
mkdir "$SCRATCH/fonts"
font="$SCRATCH/fonts/bkant.bmf"

expect_font_failure() {
    run_vorn mapa256.bmp
    expect_status 255
    expect_clean_stderr
    last=$(tail -n 1 "$SCRATCH/debug.txt")
    [ "$last" = "ERROR: An error occured while loading the font.ERROR: InitGL() failed!" ] ||
        fail "$1: last log line is '$last'"
    [ "$(grep -c '^ERROR' "$SCRATCH/debug.txt")" -eq 1 ] || fail "$1: more than one error line"
}

# "BMF" followed by something other than a blank.
{ printf 'BMFX'; tail -c +5 "$real_font"; } >"$font"
expect_font_failure "bad magic"

# Version 258.
{ head -c 4 "$real_font"; printf '\002\001'; tail -c +7 "$real_font"; } >"$font"
expect_font_failure "version 258"

# The compiled font cut short inside its sheet data.
head -c $(($(stat -c %s "$real_font") - 100)) "$real_font" >"$font"
expect_font_failure "truncated"

# No font file at all.
rm "$font"
expect_font_failure "missing"

# The whole font again: start-up gets past it.
cp "$real_font" "$font"
start_vorn mapa256.bmp
close_window
wait_exit
expect_status 0
expect_clean_stderr
grep -q "loading the font" "$SCRATCH/debug.txt" && fail "the good font was refused"

echo "bad font: ok"
