# The Debian package, built from this build tree into a scratch folder and
# unpacked there (never installed): its files, its dependencies, its manual
# pages, and its vorn command run from another folder with a scratch HOME.
source "$E2E_LIB"
make_scratch
# The starting folder holds nothing of the viewer's.
rm -f "$SCRATCH/maps" "$SCRATCH/textures" "$SCRATCH/fonts"

build=$VORN_DATA
source_dir=$(cd "$(dirname "$E2E_LIB")/../.." && pwd)
pkg=$(mktemp -d "${TMPDIR:-/tmp}/vorn-pkg-XXXXXX")
trap 'cleanup; rm -rf "$pkg"' EXIT
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no package version in $build/CPackConfig.cmake"

# ---- the package ----
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$pkg" >"$pkg/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$pkg/cpack.log")"
deb=$pkg/vorn_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb: $(ls "$pkg")"
[ "$(dpkg-deb -f "$deb" Package)" = vorn ] || fail "package name $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libsdl1.2debian libsdl-image1.2 libgdal libglu1-mesa libseccomp2; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
dpkg-deb -f "$deb" Description | grep -q "terrain viewer" || fail "no description"

root=$pkg/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
(cd "$root" && find . -type f -o -type l | sort) >"$pkg/files"
cat >"$pkg/expected" <<'LIST'
./usr/bin/vorn
./usr/bin/vorn-dem2map
./usr/lib/vorn/mapprobe
./usr/lib/vorn/vorn
./usr/share/applications/vorn.desktop
./usr/share/doc/vorn/changelog.gz
./usr/share/doc/vorn/copyright
./usr/share/icons/hicolor/64x64/apps/vorn.png
./usr/share/icons/hicolor/scalable/apps/vorn.svg
./usr/share/lintian/overrides/vorn
./usr/share/man/man1/vorn-dem2map.1.gz
./usr/share/man/man6/vorn.6.gz
./usr/share/metainfo/org.example.vorn.metainfo.xml
./usr/share/vorn/fonts/bkant.bmf
./usr/share/vorn/maps/mapa.bmp
./usr/share/vorn/maps/mapa1024.bmp
./usr/share/vorn/maps/mapa256.bmp
./usr/share/vorn/textures/grass2.bmp
./usr/share/vorn/textures/help.bmp
./usr/share/vorn/textures/skySIDE.bmp
./usr/share/vorn/textures/skyTOP.bmp
LIST
diff -u "$pkg/expected" "$pkg/files" >&2 || fail "the package's files differ from the list"
for exe in usr/bin/vorn usr/bin/vorn-dem2map usr/lib/vorn/vorn usr/lib/vorn/mapprobe; do
    [ -x "$root/$exe" ] || fail "$exe is not executable"
done
[ "$(identify -format '%w %h' "$root/usr/share/icons/hicolor/64x64/apps/vorn.png")" = "64 64" ] ||
    fail "the icon is not 64 x 64"
grep -q -x "Exec=vorn %f" "$root/usr/share/applications/vorn.desktop" || fail "desktop entry Exec"
grep -q -x "Icon=vorn" "$root/usr/share/applications/vorn.desktop" || fail "desktop entry Icon"

# ---- the manual pages render without a warning ----
for page in man6/vorn.6.gz man1/vorn-dem2map.1.gz; do
    MANWIDTH=80 man --warnings -l "$root/usr/share/man/$page" >"$pkg/page.txt" 2>"$pkg/page.err" ||
        fail "man -l $page failed: $(cat "$pkg/page.err")"
    [ -s "$pkg/page.err" ] && fail "man -l $page warned: $(cat "$pkg/page.err")"
    grep -q "EXIT STATUS" "$pkg/page.txt" || fail "$page has no EXIT STATUS"
    grep -q "vorn $version" "$pkg/page.txt" || fail "$page does not name version $version"
done
MANWIDTH=200 man -l "$root/usr/share/man/man6/vorn.6.gz" 2>/dev/null >"$pkg/vorn6.txt"
for section in "SYNOPSIS" "CONTROLS" "FILES" "debug.txt" "screenN.bmp" "XDG_DATA_HOME"; do
    grep -q "$section" "$pkg/vorn6.txt" || fail "vorn(6) lacks $section"
done
# The controls are README's table, row for row.
readme_rows=$(awk '/^## Controls/ {on = 1; next} on && /^## / {exit}
    on && /^\| / && !/^\| Input/ && !/^\|---/ {print}' "$source_dir/README.md" |
    sed -e 's/^| //' -e 's/ |$//' -e 's/ | /\t/' -e 's/`//g')
man_rows=$(zcat "$root/usr/share/man/man6/vorn.6.gz" |
    awk '/^\.TS/ {on = 1; next} /^\.TE/ {on = 0} on' |
    awk 'NR > 3' | sed -e 's/\\f[IPBR]//g' | tr '\n' '\001' |
    sed -e 's/T{\x01//g' -e 's/\x01T}//g' | tr '\001' '\n')
[ "$readme_rows" = "$man_rows" ] ||
    fail "vorn(6)'s controls differ from README's: $(diff <(echo "$readme_rows") <(echo "$man_rows"))"

# ---- the unpacked vorn command ----
export HOME=$SCRATCH/home
unset XDG_DATA_HOME
mkdir -p "$HOME"
DATA=$HOME/.local/share/vorn
VORN_BIN=$root/usr/bin/vorn
# The viewer's log, where the shared steps look for it.
ln -s "$DATA/debug.txt" "$SCRATCH/debug.txt"

# A file that does not exist: one message naming it, status 1, and the
# viewer never started.
run_vorn "$SCRATCH/no such map.png"
expect_status 1
[ "$(wc -l <"$SCRATCH/stderr.txt")" -eq 1 ] && grep -q -F "$SCRATCH/no such map.png" "$SCRATCH/stderr.txt" ||
    fail "not one message naming the missing file: $(cat "$SCRATCH/stderr.txt")"
[ -e "$DATA/debug.txt" ] && fail "the viewer ran for a missing file"

# A 200 x 200 grey PNG by a path with a space: linked and shown as it is.
mkdir -p "$SCRATCH/my maps"
png="$SCRATCH/my maps/valley 200.png"
convert -size 200x200 gradient:black-white -rotate 30 -gravity center -extent 200x200 \
    -colorspace Gray -depth 8 -define png:color-type=0 "$png"
printf 'an earlier picture\n' >"$SCRATCH/screen1.bmp"
cp "$SCRATCH/screen1.bmp" "$pkg/screen1.before"
start_vorn "$png"
[ "$(xdotool getwindowname "$WINDOW")" = "terrain size: 200 x 200" ] ||
    fail "window title $(xdotool getwindowname "$WINDOW")"
[ "$(readlink "$DATA/maps/valley 200.png")" = "$png" ] || fail "the PNG is not linked into maps/"
for link in textures fonts maps/mapa.bmp; do
    [ -e "$DATA/$link" ] || fail "no $link in the per-user folder"
done
drawn() { below "$(region_mean "$1" 500x400+175+100)" 0.9; }
capture_until "$SCRATCH/png.png" drawn
# P writes the shot in the per-user folder; after the run it lands in the
# starting folder as screen2.bmp, beside the untouched screen1.bmp.
xdotool key p
for _ in $(seq 1 600); do
    [ "$(stat -c %s "$DATA/screen1.bmp" 2>/dev/null)" = $((54 + 800 * 600 * 3)) ] && break
    sleep 0.1
done
xdotool key Escape
wait_exit
expect_status 0
expect_clean_stderr
cmp -s "$SCRATCH/screen1.bmp" "$pkg/screen1.before" || fail "screen1.bmp was changed"
[ "$(identify -format '%w %h' "$SCRATCH/screen2.bmp" 2>/dev/null)" = "800 600" ] ||
    fail "no 800 x 600 screen2.bmp in the starting folder"
grep -q -x -F "vorn: screenshot saved as $SCRATCH/screen2.bmp" "$SCRATCH/stdout.txt" ||
    fail "the launcher did not say where the shot went: $(cat "$SCRATCH/stdout.txt")"
ls "$DATA"/screen*.bmp >/dev/null 2>&1 && fail "a shot stayed in the per-user folder"

# An elevation model as an ASCII grid in UTM metres: converted at true scale
# and shown; a second start on the unchanged file shows the same map
# without converting again.
mkdir -p "$SCRATCH/dem"
awk 'BEGIN {
    n = 64
    print "ncols " n; print "nrows " n
    print "xllcorner 500000"; print "yllcorner 5000000"; print "cellsize 30"
    print "NODATA_value -9999"
    for (r = 0; r < n; r++) {
        line = ""
        for (c = 0; c < n; c++)
            line = line sprintf("%.1f ", 500 + 100 * exp(-((r - 32) ^ 2 + (c - 20) ^ 2) / 150))
        print line
    }
}' >"$SCRATCH/dem/hill.asc"
cat >"$SCRATCH/dem/hill.prj" <<'PRJ'
PROJCS["WGS_1984_UTM_Zone_33N",GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",15.0],PARAMETER["Scale_Factor",0.9996],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]]
PRJ
for run in first second; do
    start_vorn "$SCRATCH/dem/hill.asc"
    [ "$(xdotool getwindowname "$WINDOW")" = "terrain size: 64 x 64" ] ||
        fail "$run run: window title $(xdotool getwindowname "$WINDOW")"
    close_window
    wait_exit
    expect_status 0
    expect_clean_stderr
    if [ $run = first ]; then
        grep -q "^vorn: converted $SCRATCH/dem/hill.asc" "$SCRATCH/stdout.txt" ||
            fail "no conversion said: $(cat "$SCRATCH/stdout.txt")"
        grep -q "true scale" "$SCRATCH/stdout.txt" || fail "not at true scale: $(cat "$SCRATCH/stdout.txt")"
        [ "$(identify -format '%w %h %z' "$DATA/maps/hill.png")" = "64 64 16" ] ||
            fail "maps/hill.png is not a 16-bit 64 x 64 map"
        made=$(stat -c '%i %.9Y' "$DATA/maps/hill.png")
    else
        grep -q "converted" "$SCRATCH/stdout.txt" && fail "the unchanged file was converted again"
        [ "$(stat -c '%i %.9Y' "$DATA/maps/hill.png")" = "$made" ] || fail "the map was rewritten"
    fi
done

# A large elevation model keeps its own resolution (the launcher takes up to
# 4096 on a side). Without a display the viewer then fails: its log's ERROR lines reach standard error,
# and its status is passed on.
awk 'BEGIN {
    n = 1100
    print "ncols " n; print "nrows " n; print "xllcorner 0"; print "yllcorner 0"
    print "cellsize 1"
    for (r = 0; r < n; r++) {
        line = ""
        for (c = 0; c < n; c++)
            line = line ((r * 7 + c * 3) % 10) " "
        print line
    }
}' >"$SCRATCH/dem/big grid.asc"
(cd "$SCRATCH" && unset DISPLAY && exec_vorn "$SCRATCH/dem/big grid.asc" >"$SCRATCH/stdout.txt" \
    2>"$SCRATCH/stderr.txt")
STATUS=$?
expect_status 255
[ "$(identify -format '%w %h' "$DATA/maps/big grid.png")" = "1100 1100" ] ||
    fail "the large model did not become a 1100 x 1100 map"
grep -q "^ERROR" "$SCRATCH/stderr.txt" || fail "no ERROR lines on stderr: $(cat "$SCRATCH/stderr.txt")"
grep '^ERROR' "$DATA/debug.txt" | cmp -s - <(grep '^ERROR' "$SCRATCH/stderr.txt") ||
    fail "stderr does not carry the log's ERROR lines"
expect_clean_stderr
