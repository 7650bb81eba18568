// The viewer's bitmap font: a BMF file loaded into one GL alpha texture and
// one display list per glyph.
#pragma once

#include "font/bmf_parse.h"

// The path of the viewer's one font, relative to the working directory.
constexpr const char *MainFontPath = "fonts/bkant.bmf";

// Display-list names reserved per font: one for every byte value.
constexpr int BmfListCount = 256;

struct BmfFont {
    unsigned int texture;                // GL name of the alpha texture holding the sheet
    unsigned int listBase;               // the glyph of byte b is list listBase + b
    unsigned char header[BmfHeaderSize]; // the file's header; header[2] is the height h
    unsigned char widths[256];           // advance in texels per byte value; 0 = no glyph
};

// The viewer's font: null until LoadFont succeeds.
extern BmfFont *mainFont;

// Loads a BMF file into a new font: a GL_ALPHA texture of W x H with linear
// filters and clamped edges, and 256 list names of which those of the file's
// glyphs are compiled. Needs a current GL context; leaves the texture
// binding and the pixel-store state as it found them; writes no log line.
// Returns null when the file cannot be read, is malformed, is larger than
// the context's textures, or GL has no list names left; nothing is left
// allocated or open then.
BmfFont *LoadBmfFont(const char *path);

// Loads MainFontPath into mainFont. Returns 0, or -1 after writing the
// failure message (with no line end: start-up's own line follows it).
int LoadFont();

// Deletes the texture and the lists of font and frees it, while the GL
// context that loaded it is current. Null is ignored.
void FreeBmfFont(BmfFont *font);

// What glyph i of a font with these widths and height draws, and where on
// the sheet it samples: a w x h quad with its bottom-left corner at the
// origin, followed by a move right by w.
void CompileBmfGlyph(unsigned int list, int i, int w, int h, int sheetWidth, int sheetHeight);
