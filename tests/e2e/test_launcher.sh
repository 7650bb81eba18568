# The vorn command in a tree laid out as an installation, run with a scratch
# HOME: the files it refuses, what it lets reach the terminal, long names,
# its cache and the signals it passes on. Stubs stand in for the converter
# (slow, loud, or listing the files it read) and, where no window is needed,
# for the viewer; the real probe and, where a window is needed, the real
# viewer and converter run.
source "$E2E_LIB"
: "${VORN_LAUNCHER:?VORN_LAUNCHER names the configured launcher script}"
: "${MAPPROBE:?MAPPROBE names the map probe}"
: "${DEM2MAP:?DEM2MAP names the converter}"
make_scratch
rm -f "$SCRATCH/maps" "$SCRATCH/textures" "$SCRATCH/fonts"
viewer_bin=$VORN_BIN

# ---- the tree: bin/vorn, the programs and the data where it looks ----
tree=$SCRATCH/tree
libdir=$tree/bin/$(sed -n 's|^libdir=\$bindir/||p' "$VORN_LAUNCHER")
sharedir=$tree/bin/$(sed -n 's|^sharedir=\$bindir/||p' "$VORN_LAUNCHER")
mkdir -p "$tree/bin"
mkdir -p "$libdir" "$sharedir"
cp "$VORN_LAUNCHER" "$tree/bin/vorn"
chmod +x "$tree/bin/vorn"
ln -s "$MAPPROBE" "$libdir/mapprobe"
for dir in maps textures fonts; do
    ln -s "$VORN_DATA/$dir" "$sharedir/$dir"
done
# The launcher in a process group of its own, as a terminal's job is.
printf '#!/bin/sh\nexec setsid "${0%%/*}/vorn" "$@"\n' >"$tree/bin/vorn-job"
chmod +x "$tree/bin/vorn-job"

stubs=$SCRATCH/stubs
mkdir -p "$stubs"
export STUB_DIR=$stubs STUB_MAP=$VORN_DATA/maps/mapa256.bmp
# STUB_MODE: "ok" writes the map, prints a summary with an OSC and a colour
# sequence and a "read:" line for each line of STUB_READ; "sleep" leaves a
# temporary file and sleeps; "fail" prints a failure with an OSC sequence.
cat >"$stubs/converter" <<'STUB'
#!/bin/bash
echo "$1" >>"$STUB_DIR/conversions"
case ${STUB_MODE:-ok} in
sleep)
    : >"$2.tmp-Ab12Cd"
    echo $$ >"$STUB_DIR/converter.pid"
    exec sleep 600
    ;;
fail)
    printf 'dem2map: %s: not \e]0;owned\aelevation \e[31mdata\n' "$1" >&2
    exit 1
    ;;
esac
cp "$STUB_MAP" "$2"
printf 'map: 256 x 256 \e]0;owned\a\e[31m(stub)\e[0m\x9b1m\xc2\x9b2m\n'
while IFS= read -r f; do
    [ -n "$f" ] && printf 'read: %s\n' "$f"
done <<<"${STUB_READ:-}"
exit 0
STUB
# The viewer's stand-in notes its argument and ends at once, writing no log.
cat >"$stubs/viewer" <<'STUB'
#!/bin/bash
echo "$1" >>"$STUB_DIR/viewer.log"
exit "${STUB_VIEWER_STATUS:-0}"
STUB
chmod +x "$stubs/converter" "$stubs/viewer"
use_converter() { ln -sfn "$1" "$tree/bin/vorn-dem2map"; }
use_viewer() { ln -sfn "$1" "$libdir/vorn"; }
use_converter "$stubs/converter"
use_viewer "$stubs/viewer"

leftover=""
trap 'cleanup; [ -n "$leftover" ] && kill -9 "$leftover" 2>/dev/null' EXIT

export HOME=$SCRATCH/home
unset XDG_DATA_HOME
mkdir -p "$HOME"
DATA=$HOME/.local/share/vorn
VORN_BIN=$tree/bin/vorn
ln -s "$DATA/debug.txt" "$SCRATCH/debug.txt"
out=$SCRATCH/stdout.txt
err=$SCRATCH/stderr.txt

# A run with a hang guard: a launcher that blocks fails the test. With
# NO_DISPLAY set, the viewer has no display.
launch() {
    (
        cd "$SCRATCH" || exit 1
        [ -n "${NO_DISPLAY:-}" ] && unset DISPLAY
        exec_vorn "$@" >"$out" 2>"$err"
    ) &
    local pid=$!
    for _ in $(seq 1 600); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid"
        fail "the launcher did not end within a minute: $*"
    fi
    wait "$pid"
    STATUS=$?
}
conversions() { [ -f "$stubs/conversions" ] && wc -l <"$stubs/conversions" || echo 0; }
# A PNG's bit depth and colour type, from its IHDR chunk.
png_depth_and_colour() { od -An -tu1 -j24 -N2 "$1" | xargs; }
# Nothing but newlines of the launcher's output is a control character, C1
# controls and bytes outside UTF-8 included.
expect_no_controls() {
    if LC_ALL=C grep -q '[[:cntrl:]]' "$out" "$err" ||
        LC_ALL=C grep -q $'\xc2[\x80-\x9f]' "$out" "$err" ||
        ! iconv -f UTF-8 -t UTF-8 "$out" "$err" >/dev/null 2>&1; then
        fail "a control character reached the terminal: $(cat -v "$out" "$err")"
    fi
}
expect_only_err() {
    [ "$(cat "$err")" = "$1" ] || fail "stderr is '$(cat -v "$err")', expected '$1'"
}

# ---- not a regular file: refused before anything opens it ----
mkfifo "$SCRATCH/pipe.tif"
launch "$SCRATCH/pipe.tif"
expect_status 1
expect_only_err "vorn: $SCRATCH/pipe.tif: is a named pipe, not a regular file"
flock -n "$DATA/.lock" true || fail "the lock is still held after the refusal"
launch /dev/null
expect_status 1
expect_only_err "vorn: /dev/null: is a device, not a regular file"
mkfifo "$DATA/maps/pipe.bmp"
launch pipe.bmp
expect_status 1
expect_only_err "vorn: pipe.bmp: is a named pipe, not a regular file"
[ -s "$stubs/viewer.log" ] && fail "the viewer ran for a pipe"
[ "$(conversions)" -eq 0 ] || fail "the converter ran for a pipe"
# The probe itself never opens one either, whoever calls it.
timeout 60 "$MAPPROBE" "$SCRATCH/pipe.tif" >/dev/null 2>"$SCRATCH/probe.err"
[ $? -eq 2 ] || fail "the probe did not refuse the pipe with status 2"
grep -q -x -F "mapprobe: $SCRATCH/pipe.tif: is a named pipe, not a regular file" \
    "$SCRATCH/probe.err" || fail "the probe said: $(cat "$SCRATCH/probe.err")"

# ---- control characters: dropped from names and from every message ----
evil=$SCRATCH/$'bad\e]0;owned\a\e[31mname.dem'
printf 'no elevation here\n' >"$evil"
STUB_MODE=fail launch "$evil"
expect_status 1
expect_no_controls
expect_only_err "vorn: $SCRATCH/bad]0;owned[31mname.dem: cannot be shown: not ]0;ownedelevation [31mdata"
# A summary with escape sequences; its "read:" lines are not shown.
printf 'x' >"$SCRATCH/loud.dem"
STUB_READ=$SCRATCH/loud.dem launch "$SCRATCH/loud.dem"
expect_status 0
expect_no_controls
grep -q -x -F "vorn: converting $SCRATCH/loud.dem into $DATA/maps/loud.png ..." "$out" ||
    fail "the conversion was not announced: $(cat -v "$out")"
grep -q -x -F "  map: 256 x 256 ]0;owned[31m(stub)[0m1m2m" "$out" ||
    fail "the summary is not shown cleaned: $(cat -v "$out")"
grep -q "read:" "$out" && fail "the converter's read: lines were shown"
[ "$(tail -n 1 "$stubs/viewer.log")" = loud.png ] || fail "the viewer was not given loud.png"
# The viewer's ERROR lines name the map; a broken map with ESC in its name.
printf 'BM broken' >"$DATA/maps/"$'esc\e[7mmap.bmp'
use_viewer "$viewer_bin"
NO_DISPLAY=1 launch $'esc\e[7mmap.bmp'
expect_status 255
expect_no_controls
grep -q '^ERROR: loading map file maps/esc\[7mmap.bmp' "$err" ||
    fail "no cleaned ERROR line: $(cat -v "$err")"
expect_clean_stderr

# ---- only this run's errors: a viewer that fails without writing its log ----
grep -q '^ERROR' "$DATA/debug.txt" || fail "the earlier run left no ERROR line to test with"
use_viewer "$stubs/viewer"
STUB_VIEWER_STATUS=3 launch mapa256.bmp
expect_status 3
expect_only_err "vorn: the viewer ended with status 3"

# ---- long names: 250 bytes, multi-byte characters, in maps/ cut short ----
long_stem=$(printf 'é%.0s' $(seq 1 123)) # 246 bytes
png=$SCRATCH/$long_stem.png
convert -size 16x16 gradient:black-white -colorspace Gray -depth 8 -define png:color-type=0 "$png"
[ "$(printf '%s' "${png##*/}" | wc -c)" -eq 250 ] || fail "the test's name is not 250 bytes"
for run in first second; do
    launch "$png"
    expect_status 0
    [ -s "$err" ] && fail "$run run of the long image: stderr $(cat "$err")"
    linked=$(find "$DATA/maps" -maxdepth 1 -lname "$png" -printf '%f\n')
    [ "$(wc -l <<<"$linked")" -eq 1 ] || fail "$run run: not one link to the image: $linked"
    hash=$(printf '%s' "${png##*/}" | sha256sum | cut -c 1-8)
    [[ $linked == *"-$hash.png" ]] || fail "the long image's map name lacks its hash: $linked"
    [ "$(printf '%s' "$linked" | wc -c)" -le 244 ] || fail "the map name is too long: $linked"
    printf '%s' "$linked" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 ||
        fail "the map name cuts a character in two"
    [ "$(tail -n 1 "$stubs/viewer.log")" = "$linked" ] || fail "the viewer was not given $linked"
done
# A converted one, by the real converter, shown by the real viewer.
asc=$SCRATCH/$(printf 'g%.0s' $(seq 1 246)).asc
awk 'BEGIN { print "ncols 16"; print "nrows 16"; print "xllcorner 0"; print "yllcorner 0"
    print "cellsize 30"
    for (r = 0; r < 16; r++) { line = ""; for (c = 0; c < 16; c++) line = line (r * c) " "; print line } }' >"$asc"
use_converter "$DEM2MAP"
use_viewer "$viewer_bin"
start_vorn "$asc"
[ "$(xdotool getwindowname "$WINDOW")" = "terrain size: 16 x 16" ] ||
    fail "long converted name: window title $(xdotool getwindowname "$WINDOW")"
close_window
wait_exit
expect_status 0
expect_clean_stderr
[ -s "$err" ] && fail "the long converted name: stderr $(cat "$err")"
made=$(cd "$DATA/maps" && ls -- ggg*)
[ "$(wc -l <<<"$made")" -eq 1 ] && [[ $made == *-[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f].png ]] ||
    fail "no one shortened map: $made"
[ "$(png_depth_and_colour "$DATA/maps/$made")" = "16 0" ] ||
    fail "the converted map is not a 16-bit grey PNG: $(file "$DATA/maps/$made")"
[ -f "$DATA/sources/$made.path" ] && [ -f "$DATA/sources/$made.state" ] ||
    fail "the long map's sources are missing"
use_viewer "$stubs/viewer"
launch "$asc"
expect_status 0
grep -q converting "$out" && fail "the unchanged long-named file was converted again"
# A mosaic of two tiles beside its VRT, by the real converter: a change to
# one tile, or to a file that a tile reads beside it, converts it again.
real_mosaic=$SCRATCH/real-mosaic
mkdir -p "$real_mosaic"
for tile in west east; do
    awk -v t=$tile 'BEGIN { print "ncols 16"; print "nrows 16"; print "xllcorner 0"
        print "yllcorner 0"; print "cellsize 30"
        for (r = 0; r < 16; r++) { line = ""; for (c = 0; c < 16; c++) line = line (t == "west" ? r + c : 2 * r) " "; print line } }' \
        >"$real_mosaic/$tile.asc"
done
echo 'PROJCS["unknown"]' >"$real_mosaic/east.prj"
cat >"$real_mosaic/both.vrt" <<'VRT'
<VRTDataset rasterXSize="32" rasterYSize="16">
  <VRTRasterBand dataType="Float32" band="1">
    <SimpleSource><SourceFilename relativeToVRT="1">west.asc</SourceFilename><SourceBand>1</SourceBand>
      <SrcRect xOff="0" yOff="0" xSize="16" ySize="16"/><DstRect xOff="0" yOff="0" xSize="16" ySize="16"/></SimpleSource>
    <SimpleSource><SourceFilename relativeToVRT="1">east.asc</SourceFilename><SourceBand>1</SourceBand>
      <SrcRect xOff="0" yOff="0" xSize="16" ySize="16"/><DstRect xOff="16" yOff="0" xSize="16" ySize="16"/></SimpleSource>
  </VRTRasterBand>
</VRTDataset>
VRT
launch "$real_mosaic/both.vrt"
expect_status 0
grep -q converting "$out" || fail "the real mosaic was not converted: $(cat "$out" "$err")"
launch "$real_mosaic/both.vrt"
grep -q converting "$out" && fail "the unchanged real mosaic was converted again"
sed -i '7s/^0 /9 /' "$real_mosaic/east.asc"
touch -d '2001-02-03 04:05:06' "$real_mosaic/east.asc"
launch "$real_mosaic/both.vrt"
grep -q converting "$out" || fail "a changed tile of the real mosaic was not converted again"
touch -d '2002-03-04 05:06:07' "$real_mosaic/east.prj"
launch "$real_mosaic/both.vrt"
grep -q converting "$out" || fail "a changed sidecar of a tile was not converted again"
use_converter "$stubs/converter"

# ---- the cache: keyed on every file the converter read ----
mosaic=$SCRATCH/mosaic
mkdir -p "$mosaic"
printf 'vrt' >"$mosaic/tiles.vrt"
printf 'tile' >"$mosaic/a.tif"
printf 'header' >"$mosaic/a.hdr"
printf 'other' >"$mosaic/notes.txt"
export STUB_READ="$mosaic/tiles.vrt
$mosaic/a.tif
$mosaic/a.hdr"
expect_conversions() {
    [ "$(conversions)" -eq "$1" ] || fail "$2: $(conversions) conversions, expected $1"
}
before=$(conversions)
launch "$mosaic/tiles.vrt"
expect_status 0
expect_conversions $((before + 1)) "the first start"
launch "$mosaic/tiles.vrt"
expect_conversions $((before + 1)) "an unchanged mosaic"
printf 'more' >>"$mosaic/a.hdr"
launch "$mosaic/tiles.vrt"
expect_conversions $((before + 2)) "a changed sidecar"
touch -d '2001-02-03 04:05:06' "$mosaic/a.tif"
launch "$mosaic/tiles.vrt"
expect_conversions $((before + 3)) "a source with a new time"
printf 'more' >>"$mosaic/notes.txt"
launch "$mosaic/tiles.vrt"
expect_conversions $((before + 3)) "a file that was not read"
rm "$mosaic/a.tif"
launch "$mosaic/tiles.vrt"
expect_conversions $((before + 4)) "a source gone"
# A path the converter had to escape cannot be checked: never cached.
STUB_READ="$mosaic/tiles.vrt
$mosaic/odd\\x5cname.tif" launch "$mosaic/tiles.vrt"
STUB_READ="$mosaic/tiles.vrt
$mosaic/odd\\x5cname.tif" launch "$mosaic/tiles.vrt"
expect_conversions $((before + 6)) "an escaped path"
# Without read: lines the input alone is the key.
unset STUB_READ
printf 'dem' >"$SCRATCH/plain.dem"
launch "$SCRATCH/plain.dem"
launch "$SCRATCH/plain.dem"
expect_conversions $((before + 7)) "an unchanged input"
printf 'more' >>"$SCRATCH/plain.dem"
launch "$SCRATCH/plain.dem"
expect_conversions $((before + 8)) "a changed input"

# ---- 16-bit maps: converted into NAME.png, earlier 8-bit conversions replaced ----
# A map that an earlier launcher converted into 8 bits, with its records.
printf 'dem' >"$SCRATCH/old.dem"
old_real=$(readlink -f "$SCRATCH/old.dem")
cp "$STUB_MAP" "$DATA/maps/old.bmp"
printf '%s' "$old_real" >"$DATA/sources/old.bmp.path"
printf 'an earlier state\n' >"$DATA/sources/old.bmp.state"
# It stays while no 16-bit map stands in for it.
STUB_MODE=fail launch "$SCRATCH/old.dem"
expect_status 1
[ -f "$DATA/maps/old.bmp" ] && [ -f "$DATA/sources/old.bmp.path" ] ||
    fail "a failed conversion removed the earlier map"
before=$(conversions)
launch "$SCRATCH/old.dem"
expect_status 0
expect_conversions $((before + 1)) "an earlier 8-bit conversion"
grep -q -x -F "vorn: converting $SCRATCH/old.dem into $DATA/maps/old.png ..." "$out" ||
    fail "not converted into old.png: $(cat "$out")"
[ -f "$DATA/maps/old.png" ] || fail "no old.png"
[ "$(tail -n 1 "$stubs/viewer.log")" = old.png ] || fail "the viewer was not given old.png"
[ -e "$DATA/maps/old.bmp" ] && fail "the earlier 8-bit map is still there"
[ -e "$DATA/sources/old.bmp.path" ] || [ -e "$DATA/sources/old.bmp.state" ] &&
    fail "the earlier map's records are still there"
[ "$(<"$DATA/sources/old.png.path")" = "$old_real" ] || fail "old.png has no record of its source"
launch "$SCRATCH/old.dem"
expect_conversions $((before + 1)) "an unchanged file after its new conversion"
# Maps the user put into maps/ are never touched: a conversion takes the
# next free name beside them.
printf 'dem' >"$SCRATCH/mine.dem"
cp "$STUB_MAP" "$DATA/maps/mine.bmp"
convert -size 8x8 gradient:black-white -colorspace Gray -depth 8 "$DATA/maps/mine.png"
own=$(cat "$DATA/maps/mine.bmp" "$DATA/maps/mine.png" | sha256sum)
launch "$SCRATCH/mine.dem"
expect_status 0
[ "$(tail -n 1 "$stubs/viewer.log")" = mine-2.png ] ||
    fail "the conversion beside the user's maps is $(tail -n 1 "$stubs/viewer.log")"
[ "$(cat "$DATA/maps/mine.bmp" "$DATA/maps/mine.png" | sha256sum)" = "$own" ] ||
    fail "the user's own maps were changed"

# ---- 16-bit PNGs: single-channel ones linked as they are, others converted ----
convert -size 32x32 gradient:black-white -colorspace Gray -depth 16 -define png:color-type=0 \
    "$SCRATCH/grey16.png"
convert -size 32x32 gradient:red-blue -depth 16 -define png:color-type=2 "$SCRATCH/rgb16.png"
convert -size 32x32 gradient:black-white -colorspace Gray -alpha set -channel A -fx 0.5 \
    +channel -depth 16 -define png:color-type=4 "$SCRATCH/ga16.png"
# An earlier launcher converted it into 8 bits: that map goes once it is linked.
grey16_real=$(readlink -f "$SCRATCH/grey16.png")
cp "$STUB_MAP" "$DATA/maps/grey16.bmp"
printf '%s' "$grey16_real" >"$DATA/sources/grey16.bmp.path"
before=$(conversions)
launch "$SCRATCH/grey16.png"
expect_status 0
expect_conversions "$before" "a 16-bit grey PNG"
[ "$(readlink "$DATA/maps/grey16.png")" = "$grey16_real" ] || fail "the 16-bit grey PNG is not linked"
[ "$(tail -n 1 "$stubs/viewer.log")" = grey16.png ] || fail "the viewer was not given grey16.png"
[ -e "$DATA/maps/grey16.bmp" ] && fail "the earlier 8-bit conversion of the PNG is still there"
[ -e "$DATA/sources/grey16.bmp.path" ] && fail "the earlier conversion's record is still there"
for name in rgb16 ga16; do
    launch "$SCRATCH/$name.png"
    expect_status 0
    before=$((before + 1))
    expect_conversions "$before" "$name.png"
    [ -L "$DATA/maps/$name.png" ] && fail "$name.png was linked as a map"
    [ -f "$DATA/maps/$name.png" ] && [ -f "$DATA/sources/$name.png.path" ] ||
        fail "$name.png was not converted into a map of its own"
done

# ---- signals during a conversion: passed on, nothing left behind ----
# TERM and HUP to the launcher alone, INT to its process group as a
# terminal's Ctrl-C.
for sig in TERM HUP INT; do
    rm -f "$stubs/converter.pid" "$stubs/viewer.log"
    printf 'slow' >"$SCRATCH/slow-$sig.dem"
    (cd "$SCRATCH" && STUB_MODE=sleep VORN_BIN=$tree/bin/vorn-job exec_vorn \
        "$SCRATCH/slow-$sig.dem" >"$out" 2>"$err") &
    pid=$!
    for _ in $(seq 1 600); do
        [ -s "$stubs/converter.pid" ] && break
        sleep 0.1
    done
    [ -s "$stubs/converter.pid" ] || fail "$sig: the stub converter did not start"
    leftover=$(cat "$stubs/converter.pid")
    grep -q -x -F "vorn: converting $SCRATCH/slow-$sig.dem into $DATA/maps/slow-$sig.png ..." "$out" ||
        fail "$sig: no word of the conversion while it runs: $(cat "$out")"
    if [ "$sig" = INT ]; then kill -INT -- "-$pid"; else kill -s "$sig" "$pid"; fi
    for _ in $(seq 1 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "$sig: the launcher did not end"
    wait "$pid"
    STATUS=$?
    expect_status $((128 + $(kill -l "$sig")))
    kill -0 "$leftover" 2>/dev/null && fail "$sig: the converter was left running"
    leftover=""
    ls "$DATA/maps/"*.tmp-* >/dev/null 2>&1 && fail "$sig: a temporary file was left in maps/"
    [ -e "$DATA/maps/slow-$sig.png" ] && fail "$sig: a map was made"
    [ -e "$stubs/viewer.log" ] && fail "$sig: the viewer was started after the signal"
    [ -s "$err" ] && fail "$sig: stderr $(cat "$err")"
done

# ---- signals while the viewer runs: it ends, and its shot is still moved ----
use_viewer "$viewer_bin"
rm -f "$SCRATCH"/screen*.bmp
for sig in TERM INT; do
    bin=$tree/bin/vorn
    [ "$sig" = INT ] && bin=$tree/bin/vorn-job
    VORN_BIN=$bin start_vorn mapa256.bmp
    viewer=$(pgrep -P "$VORN_PID")
    [ -n "$viewer" ] || fail "$sig: no viewer under the launcher"
    xdotool key p
    for _ in $(seq 1 600); do
        [ "$(stat -c %s "$DATA/screen1.bmp" 2>/dev/null)" = $((54 + 800 * 600 * 3)) ] && break
        sleep 0.1
    done
    if [ "$sig" = INT ]; then kill -INT -- "-$VORN_PID"; else kill -TERM "$VORN_PID"; fi
    wait_exit
    # The viewer quits on either; the launcher ends by TERM, but passes on
    # the viewer's own status after an INT that the viewer took as a quit.
    if [ "$sig" = INT ]; then expect_status 0; else expect_status 143; fi
    kill -0 "$viewer" 2>/dev/null && fail "$sig: the viewer is still running"
    expect_clean_stderr
    grep -q -x -F "vorn: screenshot saved as $SCRATCH/screen1.bmp" "$out" ||
        fail "$sig: the shot was not moved: $(cat "$out")"
    rm -f "$SCRATCH/screen1.bmp"
done
echo "launcher: ok"
