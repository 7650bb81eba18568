// The font compiler and the loader agree: what fontc means to write is what
// the parser reads back, and every glyph's ink lies where the loader's quad
// will sample it.
#include "app/version.h"
#include "font/bmf_parse.h"
#include "font/text_layout.h"
#include "datagen/fontc_lib.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace {

const char *const Banner = "vorN " VORN_VERSION_STRING " :: vorn.example.org";

FontcOptions Options(int version, int sheetWidth, int height) {
    FontcOptions o = {VORN_FONT_SOURCE, version, sheetWidth, height, 0, nullptr, 0};
    return o;
}

// Parses what SerializeBmf makes of image.
void RoundTrip(const BmfImage &image, BmfData *data) {
    std::vector<unsigned char> bytes;
    ASSERT_EQ(SerializeBmf(&image, &bytes), 0);
    ASSERT_EQ(ParseBmfMemory(bytes.data(), bytes.size(), data), 0);
}

// Checks that the parsed data is the image, and that every texel with ink
// lies in the rectangle of the glyph whose cell holds it.
void ExpectLoaderReads(const BmfImage &image, const BmfData &data) {
    EXPECT_EQ(data.version, image.version);
    EXPECT_EQ(data.sheetWidth, image.sheetWidth);
    EXPECT_EQ(0, memcmp(data.header, image.header, 6));
    for (int c = 0; c < 256; ++c) {
        int expected = c >= 32 && c < 32 + data.glyphCount ? image.widths[c] : 0;
        EXPECT_EQ(data.widths[c], expected) << "character " << c;
    }
    size_t size = static_cast<size_t>(data.sheetWidth) * data.sheetHeight;
    ASSERT_EQ(image.sheet.size(), size);
    EXPECT_EQ(0, memcmp(data.sheet, image.sheet.data(), size));

    int cell = data.sheetWidth / 16;
    int h = data.header[2];
    size_t stray = 0;
    for (int y = 0; y < data.sheetHeight; ++y) {
        for (int x = 0; x < data.sheetWidth; ++x) {
            if (data.sheet[y * data.sheetWidth + x] == 0) {
                continue;
            }
            int i = (y / cell) * 16 + x / cell;
            BmfGlyphPlace p = i < data.glyphCount ? PlaceBmfGlyph(i, data.widths[32 + i], h,
                                                                  data.sheetWidth, data.sheetHeight)
                                                  : BmfGlyphPlace{};
            if (i >= data.glyphCount || x < p.x0 || x >= p.x1 || y < p.y0 || y >= p.y1) {
                ++stray;
            }
        }
    }
    EXPECT_EQ(stray, 0u) << "texels with ink outside every glyph rectangle";
}

// Ink (coverage above half) of glyph i: rows and columns within its rectangle.
void InkBox(const BmfData &data, int i, int *top, int *bottom, int *left, int *right) {
    BmfGlyphPlace p =
        PlaceBmfGlyph(i, data.widths[32 + i], data.header[2], data.sheetWidth, data.sheetHeight);
    *top = *left = 1000;
    *bottom = *right = -1;
    for (int y = p.y0; y < p.y1; ++y) {
        for (int x = p.x0; x < p.x1; ++x) {
            if (data.sheet[y * data.sheetWidth + x] > 128) {
                *top = std::min(*top, y - p.y0);
                *bottom = std::max(*bottom, y - p.y0);
                *left = std::min(*left, x - p.x0);
                *right = std::max(*right, x - p.x0);
            }
        }
    }
}

TEST(FontCompiler, CodesRunsAtMost255Long) {
    std::vector<unsigned char> texels(600, 7);
    texels[0] = 1;
    texels[599] = 0;
    std::vector<unsigned char> runs;
    EncodeBmfRuns(texels.data(), texels.size(), &runs);
    std::vector<unsigned char> want = {1, 1, 255, 7, 255, 7, 88, 7, 1, 0};
    EXPECT_EQ(runs, want);
    std::vector<unsigned char> back(600, 99);
    EXPECT_EQ(ExpandBmfRuns(runs.data(), runs.size(), back.data(), back.size(), 0), 600u);
    EXPECT_EQ(back, texels);
}

TEST(FontCompiler, ViewerFontLoadsBackAsCompiled) {
    FontcOptions o = Options(256, 256, 14);
    o.fitText = Banner;
    o.fitWidth = 260;
    BmfImage image;
    std::string error;
    ASSERT_EQ(CompileBmfFont(&o, &image, &error), 0) << error;
    BmfData data;
    RoundTrip(image, &data);
    ExpectLoaderReads(image, data);

    EXPECT_EQ(data.sheetHeight, 128);
    EXPECT_EQ(data.header[2], 14);
    EXPECT_LE(MeasureTextWidth(data.widths, Banner, 1.0f), 260.0f);
    EXPECT_GT(MeasureTextWidth(data.widths, Banner, 1.0f), 150.0f) << "the font came out tiny";
    // Every printable character advances, and no glyph is wider than its cell.
    for (int c = 32; c < 127; ++c) {
        EXPECT_GT(data.widths[c], 0) << "character " << c;
        EXPECT_LE(data.widths[c], 16) << "character " << c;
    }
    EXPECT_EQ(data.widths[127], 0) << "DEL has no glyph";

    // Capitals stand on one base line, upright: the ink of "A" and "H" ends
    // on the same row, the crossbar of "T" is at its top, the bowl of "P" too.
    int top, bottom, left, right;
    InkBox(data, 'A' - 32, &top, &bottom, &left, &right);
    int baseA = bottom;
    EXPECT_GT(bottom - top, 6) << "A is too short";
    InkBox(data, 'H' - 32, &top, &bottom, &left, &right);
    EXPECT_EQ(bottom, baseA);
    InkBox(data, 'g' - 32, &top, &bottom, &left, &right);
    EXPECT_GT(bottom, baseA) << "g has no descender below the base line";
    // "T": the first ink row spans the glyph's width, the last row does not.
    BmfGlyphPlace t = PlaceBmfGlyph('T' - 32, data.widths['T'], 14, 256, 128);
    InkBox(data, 'T' - 32, &top, &bottom, &left, &right);
    int topInk = 0;
    int bottomInk = 0;
    for (int x = t.x0; x < t.x1; ++x) {
        topInk += data.sheet[(t.y0 + top) * 256 + x] > 128;
        bottomInk += data.sheet[(t.y0 + bottom) * 256 + x] > 128;
    }
    EXPECT_GT(topInk, bottomInk + 2) << "T is upside down";
    // Anti-aliased: coverage has levels between none and full.
    int partial = 0;
    for (size_t i = 0; i < image.sheet.size(); ++i) {
        partial += image.sheet[i] > 20 && image.sheet[i] < 235;
    }
    EXPECT_GT(partial, 500);
    FreeBmfData(&data);
}

TEST(FontCompiler, Version257ReachesCharacter255) {
    FontcOptions o = Options(257, 512, 28);
    BmfImage image;
    std::string error;
    ASSERT_EQ(CompileBmfFont(&o, &image, &error), 0) << error;
    BmfData data;
    RoundTrip(image, &data);
    ExpectLoaderReads(image, data);
    EXPECT_EQ(data.sheetHeight, 512);
    // Character 255 (y with diaeresis in Latin-1) has its glyph, 128-159 none.
    EXPECT_GT(data.widths[255], 0);
    int top, bottom, left, right;
    InkBox(data, 255 - 32, &top, &bottom, &left, &right);
    EXPECT_GE(bottom, 0) << "no ink for character 255";
    EXPECT_EQ(data.widths[128], 0);
    EXPECT_EQ(data.widths[159], 0);
    FreeBmfData(&data);
}

TEST(FontCompiler, KeepsAGivenSizeOrRefusesIt) {
    FontcOptions o = Options(256, 256, 14);
    o.pixelSize = 10;
    BmfImage image;
    std::string error;
    ASSERT_EQ(CompileBmfFont(&o, &image, &error), 0) << error;
    EXPECT_EQ(image.header[FontcHeaderPixels], 10);
    o.pixelSize = 30; // needs far more than 14 rows
    EXPECT_EQ(CompileBmfFont(&o, &image, &error), -1);
    EXPECT_NE(error.find("rows"), std::string::npos) << error;
    // A text that cannot fit at any size.
    o = Options(256, 256, 14);
    o.fitText = Banner;
    o.fitWidth = 20;
    EXPECT_EQ(CompileBmfFont(&o, &image, &error), -1);
    EXPECT_NE(error.find("no pixel size fits"), std::string::npos) << error;
}

TEST(FontCompiler, RefusesBadOptions) {
    std::string error;
    BmfImage image;
    FontcOptions o = Options(258, 256, 14);
    EXPECT_EQ(CompileBmfFont(&o, &image, &error), -1);
    o = Options(256, 250, 14); // not a multiple of 16
    EXPECT_EQ(CompileBmfFont(&o, &image, &error), -1);
    o = Options(256, 8192, 14);
    EXPECT_EQ(CompileBmfFont(&o, &image, &error), -1);
    o = Options(256, 256, 17); // taller than a cell
    EXPECT_EQ(CompileBmfFont(&o, &image, &error), -1);
    o = Options(256, 256, 14);
    o.fontPath = "/nonexistent/font.ttf";
    EXPECT_EQ(CompileBmfFont(&o, &image, &error), -1);
    EXPECT_NE(error.find("/nonexistent/font.ttf"), std::string::npos) << error;

    // A sheet that does not match the width is not serialised.
    image.version = 256;
    image.sheetWidth = 32;
    image.sheet.assign(size_t{32} * 32, 0);
    std::vector<unsigned char> bytes;
    EXPECT_EQ(SerializeBmf(&image, &bytes), -1);
    image.sheet.assign(size_t{32} * 16, 0);
    EXPECT_EQ(SerializeBmf(&image, &bytes), 0);
}

} // namespace
