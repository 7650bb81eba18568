// The viewer's help panel image: the list of controls, typeset with FreeType
// into a partly transparent RGBA picture.
//
// The viewer stretches the image over a 550 x 500 pixel rectangle with its
// first row along the top edge, so the image is built upright (row 0 = top
// line) and at that size, one image pixel to one screen pixel.
#pragma once

#include "app/world.h"

#include <ft2build.h>
#include FT_FREETYPE_H

// Size of the panel image, in pixels: one image pixel to one window pixel.
constexpr int HelpWidth = static_cast<int>(HelpRight - HelpLeft);
constexpr int HelpHeight = static_cast<int>(HelpTop - HelpBottom);

// An RGBA picture: h rows of w pixels, 4 bytes each (R, G, B, A, straight
// alpha), row 0 first, tightly packed. The caller owns the pixels.
struct HelpCanvas {
    int w;
    int h;
    unsigned char *rgba;
};

// One typeface at one pixel size.
struct HelpFace {
    FT_Library library;
    FT_Face face;
};

// One line of the controls list: the input and what it does.
struct HelpEntry {
    const char *key;
    const char *action;
};

// Every control of the viewer, in the order the panel lists them.
extern const HelpEntry HelpEntries[];
extern const int HelpEntryCount;

// Opens the font file at path at pixelSize pixels per em (1..200). Returns 0,
// or -1 (with out left closed) when the file cannot be read as a font.
int OpenHelpFace(const char *path, int pixelSize, HelpFace *out);

// Releases what OpenHelpFace made; a zeroed or closed face is left alone.
void CloseHelpFace(HelpFace *face);

// Width in pixels that DrawHelpText advances over for the UTF-8 text, or -1
// on a null argument.
int MeasureHelpText(const HelpFace *face, const char *text);

// Height above the baseline of the face's capital letters, in pixels.
int HelpCapHeight(const HelpFace *face);

// Blends opaque pixels of colour (R, G, B) over the canvas with coverage
// 0..255 ("over" operator, straight alpha). Pixels outside the canvas are
// skipped.
void BlendHelpPixel(HelpCanvas *canvas, int x, int y, const unsigned char rgb[3], int coverage);

// Draws the UTF-8 text anti-aliased in colour rgb, its pen starting at x and
// its baseline at row y (rows grow downwards). Whatever falls outside the
// canvas is cut off. Returns the pen's advance in pixels, or -1 on a null
// argument.
int DrawHelpText(HelpCanvas *canvas, const HelpFace *face, int x, int y, const char *text,
                 const unsigned char rgb[3]);

// Fills the canvas with the panel's background: a rounded rectangle of a
// dark blue-grey at about 80 % opacity inside a light opaque border, fully
// transparent outside the rounded corners.
void DrawHelpBackground(HelpCanvas *canvas);

// Draws the whole panel into a canvas of any size (HelpWidth x HelpHeight
// for the viewer): background, the title centred at the top, a rule under
// it, then HelpEntries in two columns, keys on the left and actions on the
// right. Fonts are the regular and bold faces of one family, by path.
// Returns 0, or -1 when a font cannot be opened or an argument is null.
int RenderHelpPanel(const char *regularFont, const char *boldFont, const char *title,
                    HelpCanvas *canvas);
