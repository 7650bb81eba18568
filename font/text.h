// Text drawing with a BMF font and a one-level text style.
//
// A text block: BeginText(font), any setters and PrintText calls, EndText().
// Inside a block the setters change a working copy of the defaults that
// lives until EndText; outside one they change the defaults, and so every
// later block. Text is drawn unlit over everything, in the caller's
// projection, with the caller's model-view transform replaced.
#pragma once

#include "font/bmf.h"
#include "font/text_layout.h"

struct TextStyle {
    float red, green, blue, alpha; // colour of the glyphs
    float x, y;                    // anchor, in the caller's projection units
    float scaleX, scaleY;          // glyph size factors; also scale the measures
    float angle;                   // degrees about z through the anchor
    int hAlign;                    // AlignLeft, AlignRight or AlignCenter
    int vAlign;                    // AlignBottom, AlignTop or AlignCenter
    BmfFont *font;                 // drawn with; not owned
};

// The defaults: white, opaque, at 0, 0, scale 1, angle 0, left, bottom, no font.
extern TextStyle defaultTextStyle;
// The style of the open block, overwritten by every BeginText.
extern TextStyle workingTextStyle;
// &workingTextStyle while a block is open, &defaultTextStyle otherwise.
extern TextStyle *currentTextStyle;

// Longest text drawn by one PrintText; longer texts are cut.
constexpr int MaxTextLength = 1023;

// Opens a block with a copy of the defaults and font (may be null), and
// sets the GL state for text (saved for EndText). Ignored while a block is
// open.
void BeginText(BmfFont *font);

// Closes the open block and restores the GL state BeginText saved. Ignored,
// without any GL call, when no block is open.
void EndText();

// Formats (at most MaxTextLength characters), draws with the current style
// and moves its x right by the text's width. Draws nothing without a font,
// which is always the case outside a block.
void PrintText(const char *format, ...) __attribute__((format(printf, 1, 2)));

// One block of its own (or the open block, whose font is kept): text, which
// is already formatted, in black at alpha 0.75 with its bottom-left corner
// at (x, y).
void PrintAt(float x, float y, BmfFont *font, const char *text);

// Width of text in font times the current scale x; 0 for a null text or font.
float TextWidth(const BmfFont *font, const char *text);

// Height of font times the current scale y; 0 for a null font.
float TextHeight(const BmfFont *font);

void SetTextColor(float red, float green, float blue, float alpha);
void SetTextPosition(float x, float y);
void SetTextScale(float scaleX, float scaleY);
void SetTextRotation(float angle);
void SetTextHAlign(int align);
void SetTextVAlign(int align);
