// Measuring and placing a line of text, without GL.
#pragma once

#include <cstddef>

// Alignment codes; one set serves both axes.
enum TextAlign {
    AlignTop = 1,    // vertical: the text hangs below the anchor
    AlignBottom = 2, // vertical: the text stands on the anchor (default)
    AlignLeft = 3,   // horizontal: the text starts at the anchor (default)
    AlignRight = 4,  // horizontal: the text ends at the anchor
    AlignCenter = 5, // either: the anchor is the middle
};

// Sum of the widths of the bytes of text (taken as 0..255), times scaleX.
// 0 for a null text.
float MeasureTextWidth(const unsigned char widths[256], const char *text, float scaleX);

// How far the text's left edge lies from the anchor along x, for a text of
// the given (scaled) width: -width for AlignRight, -width / 2 for
// AlignCenter, 0 for any other code.
float HorizontalAlignOffset(int align, float width);

// How far the text's bottom edge lies from the anchor along y, for a text of
// the given (scaled) height: -height for AlignTop, -height / 2 for
// AlignCenter, 0 for any other code.
float VerticalAlignOffset(int align, float height);

// Copies an already formatted text into out (size bytes, at least 1) as it
// will be drawn: a doubled percent sign becomes one, every other character
// is copied as it stands, and the copy is cut to size - 1 characters.
// Returns the length of the copy.
size_t CopyPreformattedText(const char *text, char *out, size_t size);
