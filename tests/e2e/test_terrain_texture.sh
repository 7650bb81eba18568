# A grass texture that is missing or not 24/32-bit ends start-up: the
# texture's own line, then "making mesh failed", then "InitGL() failed",
# exit status -1 (255 to the shell).
source "$E2E_LIB"
make_scratch

# textures/ with everything of the build's but grass2.bmp.
rm "$SCRATCH/textures"
mkdir "$SCRATCH/textures"
for file in "$VORN_DATA"/textures/*; do
    [ "$(basename "$file")" = grass2.bmp ] || ln -s "$file" "$SCRATCH/textures/"
done

# The log must end with the texture's line (given whole, or its start when
# the second argument is "prefix"), "making mesh failed" and "InitGL() failed".
expect_failure_lines() {
    local texture_line=$1 how=${2:-whole} first rest
    first=$(tail -n 3 "$SCRATCH/debug.txt" | head -n 1)
    rest=$(tail -n 2 "$SCRATCH/debug.txt")
    if [ "$how" = prefix ]; then
        [ "${first#"$texture_line"}" != "$first" ] && [ -n "${first#"$texture_line"}" ] ||
            fail "the texture line is '$first'"
    else
        [ "$first" = "$texture_line" ] || fail "the texture line is '$first'"
    fi
    [ "$rest" = "ERROR: making mesh failed!"$'\n'"ERROR: InitGL() failed!" ] ||
        fail "the log ends with: $rest"
}

run_vorn mapa256.bmp
expect_status 255
expect_clean_stderr
expect_failure_lines "ERROR: loading texture file textures/grass2.bmp failed with error: " prefix

# An 8-bit image (a height map is one) is refused for its pixel format.
cp "$VORN_DATA/maps/mapa256.bmp" "$SCRATCH/textures/grass2.bmp"
run_vorn mapa256.bmp
expect_status 255
expect_clean_stderr
expect_failure_lines "ERROR: file: textures/grass2.bmp is in unsupported pixel format!"

# A file that ends inside its pixels does not decode.
head -c 2000 "$VORN_DATA/textures/grass2.bmp" >"$SCRATCH/textures/grass2.bmp"
run_vorn mapa256.bmp
expect_status 255
expect_clean_stderr
expect_failure_lines "ERROR: loading texture file textures/grass2.bmp failed with error: " prefix

echo "terrain texture: ok"
