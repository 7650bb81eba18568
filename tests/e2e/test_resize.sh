# A resize of the window reaches the viewer, which sets a new video mode of
# that size: the GL window takes the size and is centred on the screen anew.
source "$E2E_LIB"
make_scratch

start_vorn mapa256.bmp
screen=$(xdpyinfo | awk '/dimensions:/ {print $2}')
sw=${screen%x*}
sh=${screen#*x}
xdotool windowsize "$WINDOW" 700 500
want="700x500+$(((sw - 700) / 2))+$(((sh - 500) / 2))"
found=""
for _ in $(seq 1 300); do
    if xwininfo -root -tree | grep -q -- " $want "; then
        found=yes
        break
    fi
    sleep 0.1
done
[ -n "$found" ] || fail "no 700 x 500 mode after the resize; windows: $(xwininfo -root -tree)"
close_window
wait_exit
expect_status 0
expect_clean_stderr
grep -q '^ERROR' "$SCRATCH/debug.txt" && fail "errors in the log"
echo "resize: ok"
