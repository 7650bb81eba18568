// Tells from the first bytes of a file whether it can be a height map the
// viewer reads as it is: an 8-bit image (palettised or grey) in a format the
// image library decodes, or a single-channel 16-bit PNG (colour type 0, bit
// depth 16), with equal width and height from 1 to MaxProbeSide. Works on
// bytes only, never trusting a size or an offset in them: a PNG is judged by
// its signature and its IHDR chunk, the first 33 bytes.
#pragma once

#include <sys/types.h>

#include <cstddef>

// The largest map linked as it is; bigger images go through the converter,
// which makes a map of at most its own largest side. Independent of the
// viewer's own limit, which may be larger.
constexpr long MaxProbeSide = 4096;

struct ImageHeader {
    const char *format; // "bmp", "png", "gif", "pcx", "tga", "pnm", "xpm"; nullptr: unknown
    long width;
    long height;
    int eightBit; // 1 when the decoded image has one byte per pixel
    int grey16;   // 1 for a single-channel 16-bit PNG: 65536 levels, read as they are
};

// Reads the header in data (size bytes: the file's start, or all of it).
// name is the file's name: a TGA file, which has no signature, is known by
// its ".tga" ending, as the image library does. Fills header (format nullptr
// for an unknown or damaged header) and returns 1 when the header describes
// an 8-bit image or a single-channel 16-bit PNG, square, of side 1 to
// MaxProbeSide, else 0.
int ProbeHeightMapHeader(const unsigned char *data, size_t size, const char *name,
                         ImageHeader *header);

// What a file of type mode (st_mode) is when the probe refuses to read it:
// "a named pipe", "a device", "a socket", "a folder", or "a special file"
// for any other kind; nullptr for a regular file, the one kind read.
// A pipe or a device could block a read for ever.
const char *RefusedFileKind(mode_t mode);
