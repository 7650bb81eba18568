// The BMF font file, read without GL: header, widths and the expanded glyph
// sheet, with every check a file from outside needs. Also the placement of
// each glyph on the sheet, shared by the loader and the font compiler.
//
// File layout (integers little-endian):
//   0        4  magic "BMF "
//   4        2  version: 256 (96 glyphs, sheet W x W/2) or 257 (224 glyphs, W x W)
//   6        6  header bytes; byte 2 is the font height h in texels
//   12       n  advance widths of the characters 32 .. 31 + n
//   12 + n   4  sheet width W (signed)
//   16 + n   4  length L of the run-length data (signed)
//   20 + n   L  pairs (count, alpha): count copies of alpha, filling the
//               sheet row after row from its top row
#pragma once

#include <cstddef>
#include <cstdio>

constexpr int BmfVersion256 = 256;
constexpr int BmfVersion257 = 257;
constexpr int BmfHeaderSize = 6;
constexpr int BmfHeightByte = 2;
// Sheets wider than this are refused before anything is allocated: 4096 is
// as large a texture as any GL the viewer runs on takes, and keeps a
// hostile file to 16 MiB of sheet.
constexpr int BmfMaxSheetWidth = 4096;
// Cells per sheet row; cells are square, W / 16 texels on a side.
constexpr int BmfCellsPerRow = 16;

// What a BMF file holds once it has been checked and its runs expanded.
struct BmfData {
    int version;                         // 256 or 257
    int glyphCount;                      // n: 96 or 224
    unsigned char header[BmfHeaderSize]; // as in the file; header[2] is the height
    unsigned char widths[256];           // by byte value; 0 where the file has none
    int sheetWidth;                      // W
    int sheetHeight;                     // H: W / 2 or W
    unsigned char *sheet;                // W x H alpha texels, top row first (malloc)
};

// Where the bytes of a file come from: a stream, or a block of memory when
// file is null.
struct BmfSource {
    FILE *file;
    const unsigned char *data;
    size_t size;
    size_t position;
};

// Glyph count of a version, or 0 for a version that is not 256 or 257.
int BmfGlyphCount(int version);

// Sheet height of a version for a sheet width W: W / 2 or W.
int BmfSheetHeight(int version, int sheetWidth);

// Reads a whole BMF file from source. Returns 0 with data filled (its sheet
// to be released with FreeBmfData), or -1 with nothing left allocated. The
// run-length data may under- or overfill the sheet: runs are cut at the
// sheet's end, the rest of an underfilled sheet is 0, and the lone last byte
// of an odd L is ignored. Refused: a short file anywhere up to the end of
// the L bytes, a wrong magic or version, W <= 0, W > BmfMaxSheetWidth, a
// sheet with no rows, L < 0.
int ParseBmf(BmfSource *source, BmfData *data);
int ParseBmfFile(FILE *file, BmfData *data);
int ParseBmfMemory(const unsigned char *bytes, size_t size, BmfData *data);

// Releases the sheet of data (null or already released is fine).
void FreeBmfData(BmfData *data);

// Expands the pairs of runs[0 .. length) into sheet[filled .. sheetSize),
// cutting the last run at the sheet's end; a lone last byte is ignored.
// Returns the new fill position.
size_t ExpandBmfRuns(const unsigned char *runs, size_t length, unsigned char *sheet,
                     size_t sheetSize, size_t filled);

// Where glyph i lies on a sheet: the centre of its cell, its rectangle in
// texels (x1, y1 exclusive) and the texture coordinates of the rectangle's
// edges. t grows toward the sheet's bottom rows.
struct BmfGlyphPlace {
    int centreX, centreY;
    int x0, y0, x1, y1;
    float s0, t0, s1, t1;
};

// Places glyph i (character 32 + i) of advance width w and font height h on
// a sheet of W x H texels: centred on its cell both ways, an odd size
// leaving its extra texel on the right or at the bottom.
BmfGlyphPlace PlaceBmfGlyph(int i, int w, int h, int sheetWidth, int sheetHeight);
