# Images made to hurt the image library (tests/images/hostile: a crashing
# GIF, a PNG that loops for ever, an allocation bomb) as the map, as the
# grass texture and as the help image. Each is a failed decode with its
# reason in the loader's own line; nothing reaches the console. The looping
# PNG ends at the decoder's 10 s processor-time limit, once for each place.
source "$E2E_LIB"
make_scratch
hostile=$(cd "$(dirname "${BASH_SOURCE[0]}")/../images/hostile" && pwd)

# textures/ with everything of the build's but the named file, which is the
# hostile image.
textures_with() {
    local texture
    rm -rf "$SCRATCH/textures"
    mkdir "$SCRATCH/textures"
    for texture in "$VORN_DATA"/textures/*; do
        [ "$(basename "$texture")" = "$1" ] || ln -s "$texture" "$SCRATCH/textures/"
    done
    cp "$2" "$SCRATCH/textures/$1"
}

# The decoder's chatter (library warnings) never reaches the console.
expect_quiet_console() {
    [ ! -s "$SCRATCH/stdout.txt" ] || fail "the viewer wrote to standard output"
    if grep -q -i -E "libpng|warning|corrupt|premature|tiff|jpeg" "$SCRATCH/stderr.txt"; then
        fail "decoder output on the console"
    fi
    expect_clean_stderr
}

check_image() {
    local file=$1 reason=$2 lines
    echo "-- $file: $reason"

    # As the map: the run ends before any window with status 255.
    rm "$SCRATCH/maps"
    mkdir "$SCRATCH/maps"
    cp "$hostile/$file" "$SCRATCH/maps/$file"
    run_vorn "$file"
    expect_status 255
    expect_quiet_console
    [ "$(tail -n 1 "$SCRATCH/debug.txt")" = \
        "ERROR: loading map file maps/$file failed with error: $reason" ] ||
        fail "map: the last log line is '$(tail -n 1 "$SCRATCH/debug.txt")'"
    rm -rf "$SCRATCH/maps"
    ln -s "$VORN_DATA/maps" "$SCRATCH/maps"

    # As the grass: the mesh and start-up fail, status 255.
    textures_with grass2.bmp "$hostile/$file"
    run_vorn mapa256.bmp
    expect_status 255
    expect_quiet_console
    lines="ERROR: loading texture file textures/grass2.bmp failed with error: $reason"
    lines+=$'\n'"ERROR: making mesh failed!"$'\n'"ERROR: InitGL() failed!"
    [ "$(tail -n 3 "$SCRATCH/debug.txt")" = "$lines" ] ||
        fail "grass: the log ends with: $(tail -n 3 "$SCRATCH/debug.txt")"

    # As the help image: the viewer runs on with a plain white panel.
    textures_with help.bmp "$hostile/$file"
    start_vorn mapa256.bmp
    log_has_line "ERROR: loading help failed with error: $reason"
    white_panel() { ! below "$(region_min "$1" 400x300+250+150)" 0.97; }
    capture_until "$SCRATCH/help-$file.png" white_panel
    close_window
    wait_exit
    expect_status 0
    expect_quiet_console
}

check_image crash.gif "the image decoder crashed (signal 11)"
check_image bomb.png "the image decoder ran out of memory"
check_image loop.png "the image decoder took longer than 10 s"

echo "hostile images: ok"
