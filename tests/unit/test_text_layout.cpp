// Measuring and aligning text, and the preformatted copy PrintAt draws.
#include "font/text_layout.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>

namespace {

TEST(TextLayout, MeasuresBytesAsUnsigned) {
    unsigned char widths[256] = {};
    widths['a'] = 10;
    widths['b'] = 40;
    widths['c'] = 25;
    widths[200] = 9; // a byte above 127 must not index below the table
    EXPECT_FLOAT_EQ(MeasureTextWidth(widths, "abc", 1.0f), 75.0f);
    EXPECT_FLOAT_EQ(MeasureTextWidth(widths, "abc", 2.0f), 150.0f);
    EXPECT_FLOAT_EQ(MeasureTextWidth(widths, "\xC8\xC8", 1.0f), 18.0f);
    EXPECT_FLOAT_EQ(MeasureTextWidth(widths, "a\x01z", 1.0f), 10.0f) << "no glyph measures 0";
    EXPECT_FLOAT_EQ(MeasureTextWidth(widths, "", 3.0f), 0.0f);
    EXPECT_FLOAT_EQ(MeasureTextWidth(widths, nullptr, 1.0f), 0.0f);
}

TEST(TextLayout, AlignsOnlyWithTheCodesOfEachAxis) {
    EXPECT_FLOAT_EQ(HorizontalAlignOffset(AlignLeft, 100.0f), 0.0f);
    EXPECT_FLOAT_EQ(HorizontalAlignOffset(AlignRight, 100.0f), -100.0f);
    EXPECT_FLOAT_EQ(HorizontalAlignOffset(AlignCenter, 100.0f), -50.0f);
    EXPECT_FLOAT_EQ(VerticalAlignOffset(AlignBottom, 14.0f), 0.0f);
    EXPECT_FLOAT_EQ(VerticalAlignOffset(AlignTop, 14.0f), -14.0f);
    EXPECT_FLOAT_EQ(VerticalAlignOffset(AlignCenter, 14.0f), -7.0f);
    // Codes of the other axis, and codes that are none, act as the default.
    for (int code : {static_cast<int>(AlignTop), static_cast<int>(AlignBottom), 0, 6, -4}) {
        EXPECT_FLOAT_EQ(HorizontalAlignOffset(code, 100.0f), 0.0f) << code;
    }
    for (int code : {static_cast<int>(AlignLeft), static_cast<int>(AlignRight), 0, 6, -4}) {
        EXPECT_FLOAT_EQ(VerticalAlignOffset(code, 14.0f), 0.0f) << code;
    }
}

std::string Copy(const char *text, size_t size = 1024) {
    char out[1024];
    size_t n = CopyPreformattedText(text, out, size);
    EXPECT_EQ(n, strlen(out));
    return out;
}

TEST(TextLayout, PreformattedTextPrintsAsItsOwnFormat) {
    EXPECT_EQ(Copy("59.94 fps"), "59.94 fps");
    EXPECT_EQ(Copy("100%% sure"), "100% sure");
    EXPECT_EQ(Copy("%%%%"), "%%");
    EXPECT_EQ(Copy("%%%"), "%%");
    // Conversions read no argument: they are drawn as they stand.
    EXPECT_EQ(Copy("%s %d %n"), "%s %d %n");
    EXPECT_EQ(Copy(nullptr), "");
    // Cut to the buffer, never past it.
    EXPECT_EQ(Copy("abcdef", 4), "abc");
    EXPECT_EQ(Copy("ab%%cd", 4), "ab%");
    std::string longText(3000, 'x');
    EXPECT_EQ(Copy(longText.c_str()).size(), 1023u);
}

} // namespace
