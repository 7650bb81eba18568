// Tests for the help panel typesetter.
#include "app/version.h"
#include "datagen/helpgen_lib.h"

#include "tests/support/test_files.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const char *const Regular = VORN_HELP_FONT_REGULAR;
const char *const Bold = VORN_HELP_FONT_BOLD;
const char *const Title = "vorn " VORN_VERSION_STRING " \xE2\x80\x94 controls";
const unsigned char White[3] = {255, 255, 255};

struct Image {
    int w;
    int h;
    std::vector<unsigned char> rgba;
};

const unsigned char *At(const Image &img, int x, int y) {
    return &img.rgba[(static_cast<size_t>(y) * img.w + x) * 4];
}

Image Panel() {
    Image img = {HelpWidth, HelpHeight,
                 std::vector<unsigned char>(static_cast<size_t>(HelpWidth) * HelpHeight * 4, 0)};
    HelpCanvas canvas = {img.w, img.h, img.rgba.data()};
    EXPECT_EQ(0, RenderHelpPanel(Regular, Bold, Title, &canvas));
    return img;
}

// Bright opaque text pixels (all channels > 200) in x0..x1, y0..y1 (exclusive).
int BrightPixels(const Image &img, int x0, int y0, int x1, int y1, int *minX = nullptr,
                 int *maxX = nullptr) {
    int n = 0;
    if (minX) {
        *minX = img.w;
    }
    if (maxX) {
        *maxX = -1;
    }
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const unsigned char *p = At(img, x, y);
            if (p[0] > 200 && p[1] > 200 && p[2] > 200 && p[3] > 240) {
                ++n;
                if (minX && x < *minX) {
                    *minX = x;
                }
                if (maxX && x > *maxX) {
                    *maxX = x;
                }
            }
        }
    }
    return n;
}

TEST(HelpEntries, ListEveryControlOfTheViewer) {
    const char *keys[] = {"mouse", "W / S", "A / D", "Z / C", "F", "H",
                          "P",     "Q",     "M",     "L",     "T", "Esc"};
    ASSERT_EQ(HelpEntryCount, (int)(sizeof(keys) / sizeof(keys[0])));
    for (int i = 0; i < HelpEntryCount; ++i) {
        EXPECT_STREQ(keys[i], HelpEntries[i].key);
        EXPECT_GT(strlen(HelpEntries[i].action), 2u);
    }
    EXPECT_NE(nullptr, strstr(HelpEntries[6].action, "screenN.bmp"));
}

TEST(HelpFaceOpen, RefusesWhatIsNotAFont) {
    HelpFace face = {};
    EXPECT_EQ(-1, OpenHelpFace("/nonexistent/font.ttf", 19, &face));
    EXPECT_EQ(nullptr, face.face);
    EXPECT_EQ(nullptr, face.library);
    EXPECT_EQ(-1, OpenHelpFace(Regular, 0, &face));
    EXPECT_EQ(-1, OpenHelpFace(nullptr, 19, &face));
    EXPECT_EQ(-1, OpenHelpFace(Regular, 19, nullptr));

    std::string dir = MakeScratchDir();
    std::string path = dir + "/not-a-font.ttf";
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fputs("this is plain text, not a font\n", f);
    fclose(f);
    EXPECT_EQ(-1, OpenHelpFace(path.c_str(), 19, &face));
    EXPECT_EQ(nullptr, face.library);
    remove(path.c_str());
    rmdir(dir.c_str());

    CloseHelpFace(&face); // a closed face may be closed again
    CloseHelpFace(nullptr);
}

TEST(HelpText, MeasuresText) {
    HelpFace face = {};
    ASSERT_EQ(0, OpenHelpFace(Regular, 19, &face)) << Regular;
    EXPECT_EQ(0, MeasureHelpText(&face, ""));
    int one = MeasureHelpText(&face, "W");
    int word = MeasureHelpText(&face, "toggle full screen");
    EXPECT_GT(one, 5);
    EXPECT_LT(one, 40);
    EXPECT_GT(word, 8 * one / 2);
    EXPECT_LT(word, 19 * 18); // no glyph wider than an em
    EXPECT_EQ(2 * MeasureHelpText(&face, "mm"), MeasureHelpText(&face, "mmmm"));
    EXPECT_EQ(-1, MeasureHelpText(&face, nullptr));
    EXPECT_EQ(-1, MeasureHelpText(nullptr, "x"));
    // The dash of the title is a real glyph, as wide as it is in the font.
    EXPECT_GT(MeasureHelpText(&face, "\xE2\x80\x94"), MeasureHelpText(&face, "-"));
    int cap = HelpCapHeight(&face);
    EXPECT_GE(cap, 12);
    EXPECT_LE(cap, 16);
    CloseHelpFace(&face);
}

TEST(HelpText, DrawsTextWhereAskedAndReturnsItsAdvance) {
    HelpFace face = {};
    ASSERT_EQ(0, OpenHelpFace(Regular, 19, &face)) << Regular;
    Image img = {120, 40, std::vector<unsigned char>(size_t{120} * 40 * 4, 0)};
    HelpCanvas canvas = {img.w, img.h, img.rgba.data()};
    int advance = DrawHelpText(&canvas, &face, 10, 30, "Hello", White);
    EXPECT_EQ(MeasureHelpText(&face, "Hello"), advance);
    int minX = 0, maxX = 0;
    int ink = BrightPixels(img, 0, 0, img.w, img.h, &minX, &maxX);
    EXPECT_GT(ink, 40);
    EXPECT_GE(minX, 10);
    EXPECT_LE(maxX, 10 + advance);
    // Nothing below the baseline (no descenders in "Hello") nor far above it.
    EXPECT_EQ(0, BrightPixels(img, 0, 31, img.w, img.h));
    EXPECT_EQ(0, BrightPixels(img, 0, 0, img.w, 30 - 19));
    EXPECT_EQ(-1, DrawHelpText(nullptr, &face, 0, 0, "x", White));
    EXPECT_EQ(-1, DrawHelpText(&canvas, &face, 0, 0, nullptr, White));
    EXPECT_EQ(-1, DrawHelpText(&canvas, nullptr, 0, 0, "x", White));
    CloseHelpFace(&face);
}

TEST(HelpText, DrawsNothingOutsideTheCanvas) {
    HelpFace face = {};
    ASSERT_EQ(0, OpenHelpFace(Regular, 19, &face)) << Regular;
    const int w = 60, h = 24, guard = 4096;
    std::vector<unsigned char> buf(guard + w * h * 4 + guard, 0xC3);
    unsigned char *pixels = buf.data() + guard;
    memset(pixels, 0, static_cast<size_t>(w) * h * 4);
    HelpCanvas canvas = {w, h, pixels};
    const char *text = "Wide text (gjpqy) \xE2\x80\x94 over every edge";
    int places[][2] = {{-30, 18}, {40, 18}, {5, 4}, {5, 30}, {-500, -500}, {500, 500}, {-8, 2}};
    for (auto &p : places) {
        EXPECT_EQ(MeasureHelpText(&face, text),
                  DrawHelpText(&canvas, &face, p[0], p[1], text, White));
    }
    for (int i = 0; i < guard; ++i) {
        ASSERT_EQ(0xC3, buf[i]) << "wrote before the canvas";
        ASSERT_EQ(0xC3, buf[guard + w * h * 4 + i]) << "wrote after the canvas";
    }
    Image img = {w, h,
                 std::vector<unsigned char>(pixels, pixels + static_cast<ptrdiff_t>(w) * h * 4)};
    EXPECT_GT(BrightPixels(img, 0, 0, w, h), 0); // the parts inside were drawn
    CloseHelpFace(&face);
}

TEST(HelpBackground, IsARoundedTranslucentPanelWithALightBorder) {
    Image img = {HelpWidth, HelpHeight,
                 std::vector<unsigned char>(static_cast<size_t>(HelpWidth) * HelpHeight * 4, 7)};
    HelpCanvas canvas = {img.w, img.h, img.rgba.data()};
    DrawHelpBackground(&canvas);
    // Outside the rounded corners: transparent.
    EXPECT_EQ(0, At(img, 0, 0)[3]);
    EXPECT_EQ(0, At(img, img.w - 1, img.h - 1)[3]);
    // The border along every edge: light and opaque.
    const int mid[][2] = {
        {img.w / 2, 0}, {img.w / 2, img.h - 1}, {0, img.h / 2}, {img.w - 1, img.h / 2}};
    for (auto &m : mid) {
        const unsigned char *p = At(img, m[0], m[1]);
        EXPECT_EQ(255, p[3]) << m[0] << "," << m[1];
        EXPECT_GT(p[0] + p[1] + p[2], 450) << m[0] << "," << m[1];
    }
    // Inside: dark and partly transparent, the same everywhere.
    const unsigned char *in = At(img, img.w / 2, img.h / 2);
    EXPECT_LT(in[0] + in[1] + in[2], 150);
    EXPECT_GE(in[3], 190);
    EXPECT_LE(in[3], 215);
    for (int y = 10; y < img.h - 10; y += 7) {
        for (int x = 10; x < img.w - 10; x += 7) {
            ASSERT_EQ(0, memcmp(in, At(img, x, y), 4)) << x << "," << y;
        }
    }
}

TEST(HelpPanel, IsDeterministic) {
    Image a = Panel();
    Image b = Panel();
    EXPECT_EQ(a.rgba, b.rgba);
}

TEST(HelpPanel, HasItsTitleCentredAtTheTopAndRowsBelow) {
    Image img = Panel();
    ASSERT_EQ(550, img.w);
    ASSERT_EQ(500, img.h);
    // Row 0 is the top of the panel: the title lies in the first rows.
    int left = 0, right = 0;
    int title = BrightPixels(img, 10, 10, img.w - 10, 64, &left, &right);
    EXPECT_GT(title, 400);
    EXPECT_LE(abs(left - (img.w - 1 - right)), 4) << left << " " << right;
    // Rows of keys and actions fill the panel below the rule.
    int rowsInk = BrightPixels(img, 10, 80, img.w - 10, img.h - 10);
    EXPECT_GT(rowsInk, 2000);
    // Every row has text in both columns: key colour on the left, pale on the right.
    for (int i = 0; i < HelpEntryCount; ++i) {
        int top = 110 + 32 * i - 14, bottom = 110 + 32 * i + 1;
        int keyInk = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = 40; x < 130; ++x) {
                const unsigned char *p = At(img, x, y);
                if (p[0] > 200 && p[2] < 170 && p[3] > 240) {
                    ++keyInk;
                }
            }
        }
        EXPECT_GT(keyInk, 10) << "row " << i;
        EXPECT_GT(BrightPixels(img, 130, top, img.w - 30, bottom), 20) << "row " << i;
    }
    // Margins: no text near the sides or the bottom.
    EXPECT_EQ(0, BrightPixels(img, 4, 4, 30, img.h - 4));
    EXPECT_EQ(0, BrightPixels(img, img.w - 30, 4, img.w - 4, img.h - 4));
    EXPECT_EQ(0, BrightPixels(img, 4, img.h - 25, img.w - 4, img.h - 4));
}

TEST(HelpPanel, FitsSmallerCanvasesAndRefusesMissingFonts) {
    Image img = {275, 250, std::vector<unsigned char>(size_t{275} * 250 * 4, 0)};
    HelpCanvas canvas = {img.w, img.h, img.rgba.data()};
    ASSERT_EQ(0, RenderHelpPanel(Regular, Bold, Title, &canvas));
    EXPECT_GT(BrightPixels(img, 0, 0, img.w, 30), 50);
    EXPECT_EQ(-1, RenderHelpPanel("/nonexistent.ttf", Bold, Title, &canvas));
    EXPECT_EQ(-1, RenderHelpPanel(Regular, "/nonexistent.ttf", Title, &canvas));
    EXPECT_EQ(-1, RenderHelpPanel(Regular, Bold, nullptr, &canvas));
    EXPECT_EQ(-1, RenderHelpPanel(Regular, Bold, Title, nullptr));
}

} // namespace
