// The BMF font compiler's work: rasterising a TrueType or OpenType font with
// FreeType onto a glyph sheet laid out as the viewer's loader reads it, and
// writing the sheet run-length coded into a BMF file of either version.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A font as it goes into a BMF file.
struct BmfImage {
    int version;                      // 256 or 257
    unsigned char header[6];          // see below; header[2] is the font height h
    unsigned char widths[256];        // advance per byte value; only 32 .. 31 + n are written
    int sheetWidth;                   // W; the sheet is W x W/2 (256) or W x W (257)
    std::vector<unsigned char> sheet; // W x H alpha texels, top row first
};

// The header bytes the compiler writes. The viewer reads only the height.
constexpr int FontcHeaderCell = 0;     // cell side in texels, W / 16 (0 when above 255)
constexpr int FontcHeaderPixels = 1;   // the pixel size the glyphs were rasterised at
constexpr int FontcHeaderHeight = 2;   // font height h: rows of each glyph's rectangle
constexpr int FontcHeaderBaseline = 3; // base line: rows from a rectangle's top

struct FontcOptions {
    const char *fontPath; // the TrueType / OpenType file
    int version;          // 256 or 257
    int sheetWidth;       // W: a multiple of 16, 32 .. 4096
    int height;           // h: 1 .. cell side
    int pixelSize;        // rasterise at this many pixels per em; 0: the largest that
                          // fits, and no smaller than half the height
    const char *fitText;  // with pixelSize 0, also make this text no wider than fitWidth
    int fitWidth;
};

// Rasterises the font into image: glyph i (character 32 + i, taken as the
// Unicode code point of the same number) goes centred into its cell as a
// rectangle of its advance width x h, anti-aliased coverage as alpha, with
// every glyph of the set between its rectangle's top and bottom rows. Ink
// outside a glyph's rectangle is dropped. Returns 0, or -1 with a message in
// error.
int CompileBmfFont(const FontcOptions *options, BmfImage *image, std::string *error);

// Appends the pairs (count, alpha) that code texels: runs of equal alpha of
// at most 255.
void EncodeBmfRuns(const unsigned char *texels, size_t count, std::vector<unsigned char> *runs);

// The bytes of a BMF file holding image. Returns 0, or -1 when the image's
// version, width or sheet size do not go together.
int SerializeBmf(const BmfImage *image, std::vector<unsigned char> *bytes);

// Writes bytes to path. Returns 0, or -1 with a message in error.
int WriteBytesFile(const char *path, const std::vector<unsigned char> &bytes, std::string *error);
