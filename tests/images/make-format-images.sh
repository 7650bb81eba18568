#!/usr/bin/env bash
# Writes one small image in every format the image library reads here into
# OUTDIR, all made with ImageMagick from the same generated pattern: the
# decoder's format test compares their isolated decode with the in-process
# one, and the image fuzzers start from them.
#
#   tests/images/make-format-images.sh OUTDIR [SIDE]      (SIDE defaults to 16)
set -eu
out=${1:?usage: make-format-images.sh OUTDIR [SIDE]}
side=${2:-16}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

size="${side}x${side}"
convert -size "$size" radial-gradient:yellow-navy -swirl 90 "$tmp/colour.png"
convert -size "$size" gradient:black-white -rotate 30 -gravity center -extent "$size" \
    -colorspace Gray +repage "$tmp/grey.png"
convert "$tmp/colour.png" -alpha set -channel A -fx 'i/w' +channel "$tmp/alpha.png"

convert "$tmp/grey.png" -type Palette -colors 256 -compress None BMP3:"$out/grey8.bmp"
convert "$tmp/colour.png" -type Palette -colors 64 -compress RLE BMP3:"$out/rle8.bmp"
convert "$tmp/colour.png" -type TrueColor BMP3:"$out/colour24.bmp"
convert "$tmp/alpha.png" -type TrueColorAlpha -define bmp:format=bmp4 "$out/alpha32.bmp"
convert "$tmp/grey.png" -depth 8 -define png:color-type=0 "$out/grey8.png"
convert "$tmp/grey.png" -depth 16 -define png:color-type=0 "$out/grey16.png"
convert "$tmp/colour.png" -colors 32 PNG8:"$out/palette.png"
convert "$tmp/alpha.png" -depth 8 PNG32:"$out/alpha.png"
convert "$tmp/grey.png" -depth 8 "$out/grey.pgm"
convert "$tmp/colour.png" -colors 32 "$out/colour.gif"
convert "$tmp/colour.png" -type TrueColor "$out/colour.tga"
convert "$tmp/colour.png" -type TrueColor -compress None "$out/colour.tif"
convert "$tmp/colour.png" -quality 90 "$out/colour.jpg"
convert "$tmp/colour.png" -type TrueColor "$out/colour.pcx"
convert "$tmp/colour.png" -colors 8 "$out/colour.xpm"
