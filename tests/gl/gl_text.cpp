// Text drawing in a real GL context: the style state machine, the GL state
// of a text block, where PrintText puts its glyphs, and the pixels it draws.
#include "app/version.h"
#include "app/log.h"
#include "font/bmf.h"
#include "font/text.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"
#include "tests/unit/test_bmf_files.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

const int WindowW = 800;
const int WindowH = 600;

// Window-space extent of what draw() sends down the pipeline.
struct Box {
    int polygons;
    float x0, y0, x1, y1;
};

Box Feedback(const std::function<void()> &draw) {
    static GLfloat buffer[1 << 18];
    glFeedbackBuffer(sizeof buffer / sizeof buffer[0], GL_2D, buffer);
    glRenderMode(GL_FEEDBACK);
    draw();
    GLint n = glRenderMode(GL_RENDER);
    Box b = {0, 1e9f, 1e9f, -1e9f, -1e9f};
    for (GLint i = 0; i < n;) {
        GLfloat token = buffer[i++];
        if (token != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        int count = static_cast<int>(buffer[i++]);
        for (int v = 0; v < count; ++v, i += 2) {
            b.x0 = std::min(b.x0, buffer[i]);
            b.x1 = std::max(b.x1, buffer[i]);
            b.y0 = std::min(b.y0, buffer[i + 1]);
            b.y1 = std::max(b.y1, buffer[i + 1]);
        }
        ++b.polygons;
    }
    return b;
}

// A version 256 font with widths made for measuring: a 10, b 20, c 25, e 15,
// and three 16 x 14 glyphs for looking at pixels: M solid, T solid in its
// upper half, L solid in its left half. Height 14.
std::vector<unsigned char> ProbeFontBytes() {
    HandBmf f;
    f.widths['a'] = 10;
    f.widths['b'] = 20;
    f.widths['c'] = 25;
    f.widths['e'] = 15;
    f.widths['x'] = 1;
    f.widths['M'] = 16;
    f.widths['T'] = 16;
    f.widths['L'] = 16;
    std::vector<unsigned char> sheet(size_t{256} * 128, 0);
    auto fill = [&sheet](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                sheet[y * 256 + x] = 255;
            }
        }
    };
    // Cells are 16 texels; a 16 x 14 glyph's rectangle is its cell's
    // columns and the rows 1 to 14 of it.
    fill(13 * 16, 2 * 16, 14 * 16, 3 * 16);       // M: glyph 45, column 13, row 2
    fill(4 * 16, 3 * 16 + 1, 5 * 16, 3 * 16 + 8); // T: glyph 52, rows 1-7 of its cell
    fill(12 * 16, 2 * 16, 12 * 16 + 8, 3 * 16);   // L: glyph 44, columns 0-7
    f.runs = HandRuns(sheet);
    return HandBmfBytes(f);
}

class TextGL : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        opened = OpenBareWindow(WindowW, WindowH);
        if (opened != 0) {
            return;
        }
        CaptureLog();
        std::string dir = MakeScratchDir();
        std::string path = dir + "/probe.bmf";
        if (WriteHandFile(path, ProbeFontBytes())) {
            probe = LoadBmfFont(path.c_str());
            other = LoadBmfFont(path.c_str());
        }
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
    static void TearDownTestSuite() {
        FreeBmfFont(probe);
        FreeBmfFont(other);
    }
    void SetUp() override {
        ASSERT_EQ(opened, 0) << "no GL window";
        ASSERT_NE(probe, nullptr);
        ASSERT_NE(other, nullptr);
        // The overlay projection of the frame: pixels, origin bottom left.
        glViewport(0, 0, WindowW, WindowH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, WindowW, 0, WindowH, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        defaultTextStyle = Defaults();
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        EXPECT_EQ(currentTextStyle, &defaultTextStyle) << "a block was left open";
        EndText();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        GLint depth = -1;
        glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 0);
    }
    static TextStyle Defaults() {
        return {1, 1, 1, 1, 0, 0, 1, 1, 0, AlignLeft, AlignBottom, nullptr};
    }
    static int opened;
    static BmfFont *probe;
    static BmfFont *other;
};
int TextGL::opened = -1;
BmfFont *TextGL::probe = nullptr;
BmfFont *TextGL::other = nullptr;

void ExpectStyle(const TextStyle &s, const TextStyle &want, const char *what) {
    EXPECT_EQ(s.red, want.red) << what;
    EXPECT_EQ(s.green, want.green) << what;
    EXPECT_EQ(s.blue, want.blue) << what;
    EXPECT_EQ(s.alpha, want.alpha) << what;
    EXPECT_EQ(s.x, want.x) << what;
    EXPECT_EQ(s.y, want.y) << what;
    EXPECT_EQ(s.scaleX, want.scaleX) << what;
    EXPECT_EQ(s.scaleY, want.scaleY) << what;
    EXPECT_EQ(s.angle, want.angle) << what;
    EXPECT_EQ(s.hAlign, want.hAlign) << what;
    EXPECT_EQ(s.vAlign, want.vAlign) << what;
    EXPECT_EQ(s.font, want.font) << what;
}

GLint Integer(GLenum what) {
    GLint v = -1;
    glGetIntegerv(what, &v);
    return v;
}

TEST_F(TextGL, BlocksSetAndRestoreTheTextState) {
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    glListBase(7);

    BeginText(probe);
    EXPECT_EQ(currentTextStyle, &workingTextStyle);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(Integer(GL_DEPTH_WRITEMASK), GL_FALSE);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(Integer(GL_ALPHA_TEST_FUNC), GL_GREATER);
    GLfloat ref = -1;
    glGetFloatv(GL_ALPHA_TEST_REF, &ref);
    EXPECT_FLOAT_EQ(ref, 0.0f);
    EXPECT_EQ(static_cast<GLuint>(Integer(GL_TEXTURE_BINDING_2D)), probe->texture);
    EXPECT_EQ(static_cast<GLuint>(Integer(GL_LIST_BASE)), probe->listBase);
    EXPECT_EQ(Integer(GL_ATTRIB_STACK_DEPTH), 1);
    PrintText("ab");
    EndText();

    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(Integer(GL_DEPTH_WRITEMASK), GL_TRUE);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_REPLACE);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(Integer(GL_LIST_BASE), 7);
    GLfloat colour[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.1f);
    EXPECT_FLOAT_EQ(colour[3], 0.4f);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glListBase(0);
}

TEST_F(TextGL, BlocksDoNotNest) {
    BeginText(probe);
    SetTextPosition(5, 6);
    BeginText(other); // ignored: font, position and GL state all stay
    EXPECT_EQ(workingTextStyle.font, probe);
    EXPECT_FLOAT_EQ(workingTextStyle.x, 5);
    EXPECT_EQ(Integer(GL_ATTRIB_STACK_DEPTH), 1);
    EXPECT_EQ(static_cast<GLuint>(Integer(GL_TEXTURE_BINDING_2D)), probe->texture);
    EndText(); // the first end closes the block
    EXPECT_EQ(currentTextStyle, &defaultTextStyle);
    EXPECT_EQ(Integer(GL_ATTRIB_STACK_DEPTH), 0);

    // An end without a block makes no GL call: nothing is popped, no error.
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_ALPHA_TEST);
    EndText();
    EXPECT_EQ(Integer(GL_ATTRIB_STACK_DEPTH), 1);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    glPopAttrib();
    EndText();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextGL, NothingIsDrawnOutsideABlockOrWithoutAFont) {
    Box outside = Feedback([] { PrintText("abc"); });
    EXPECT_EQ(outside.polygons, 0);
    ExpectStyle(defaultTextStyle, Defaults(), "after PrintText outside a block");

    Box noFont = Feedback([] {
        BeginText(nullptr);
        PrintText("abc");
        EXPECT_FLOAT_EQ(currentTextStyle->x, 0.0f);
        EndText();
    });
    EXPECT_EQ(noFont.polygons, 0);
    EXPECT_FLOAT_EQ(TextWidth(nullptr, "abc"), 0.0f);
    EXPECT_FLOAT_EQ(TextHeight(nullptr), 0.0f);
    EXPECT_FLOAT_EQ(TextWidth(probe, nullptr), 0.0f);

    // Bytes without a glyph draw nothing and measure nothing.
    BeginText(probe);
    Box none = Feedback([] { PrintText("\x01\x1f\x80\xff"); });
    EXPECT_EQ(none.polygons, 0);
    EXPECT_FLOAT_EQ(currentTextStyle->x, 0.0f);
    EndText();
}

TEST_F(TextGL, SettersOutsideABlockChangeLaterBlocks) {
    SetTextColor(0.5f, 0.25f, 0.125f, 0.5f);
    SetTextPosition(30, 40);
    BeginText(probe);
    EXPECT_FLOAT_EQ(currentTextStyle->green, 0.25f);
    EXPECT_FLOAT_EQ(currentTextStyle->x, 30.0f);
    EXPECT_EQ(currentTextStyle->font, probe);
    SetTextColor(1, 0, 0, 1); // lasts until EndText
    SetTextScale(3, 3);
    SetTextRotation(45);
    SetTextHAlign(AlignRight);
    SetTextVAlign(AlignTop);
    PrintText("a");
    EndText();
    EXPECT_FLOAT_EQ(defaultTextStyle.red, 0.5f);
    EXPECT_FLOAT_EQ(defaultTextStyle.x, 30.0f);
    EXPECT_FLOAT_EQ(defaultTextStyle.scaleX, 1.0f);
    EXPECT_EQ(defaultTextStyle.hAlign, AlignLeft);
    EXPECT_EQ(defaultTextStyle.font, nullptr);
    BeginText(probe);
    EXPECT_FLOAT_EQ(currentTextStyle->red, 0.5f) << "the last block's colour leaked";
    EXPECT_FLOAT_EQ(currentTextStyle->angle, 0.0f);
    EndText();
}

TEST_F(TextGL, PrintAtIsABlockOfItsOwn) {
    PrintAt(10, 20, probe, "ab");
    ExpectStyle(defaultTextStyle, Defaults(), "after PrintAt");
    EXPECT_EQ(currentTextStyle, &defaultTextStyle);

    // Inside an open block it draws with the block's font, leaves the block
    // black at 0.75 with its anchor after the text, and closes it.
    BeginText(other);
    SetTextColor(1, 1, 1, 1);
    Box drawn = Feedback([] { PrintAt(100, 200, probe, "ab"); });
    EXPECT_EQ(currentTextStyle, &defaultTextStyle);
    EXPECT_EQ(workingTextStyle.font, other);
    EXPECT_FLOAT_EQ(workingTextStyle.red, 0.0f);
    EXPECT_FLOAT_EQ(workingTextStyle.alpha, 0.75f);
    EXPECT_FLOAT_EQ(workingTextStyle.x, 130.0f);
    EXPECT_FLOAT_EQ(workingTextStyle.y, 200.0f);
    EXPECT_NEAR(drawn.x0, 100.0f, 1e-3);
    EXPECT_NEAR(drawn.x1, 130.0f, 1e-3);
    EXPECT_EQ(Integer(GL_ATTRIB_STACK_DEPTH), 0);

    // A preformatted text reads no argument: "%s" is drawn as it stands.
    BeginText(probe);
    PrintAt(0, 0, probe, "a%%a%s");
    EXPECT_FLOAT_EQ(workingTextStyle.x, 20.0f);
}

TEST_F(TextGL, PrintTextAdvancesTheAnchor) {
    BeginText(probe);
    SetTextPosition(10, 0);
    Box first = Feedback([] { PrintText("%s%s", "b", "b"); }); // 40 wide
    EXPECT_FLOAT_EQ(currentTextStyle->x, 50.0f);
    Box second = Feedback([] { PrintText("c"); }); // 25 wide
    EXPECT_FLOAT_EQ(currentTextStyle->x, 75.0f);
    EndText();
    EXPECT_NEAR(first.x0, 10.0f, 1e-3);
    EXPECT_NEAR(first.x1, 50.0f, 1e-3);
    EXPECT_NEAR(first.y0, 0.0f, 1e-3);
    EXPECT_NEAR(first.y1, 14.0f, 1e-3);
    EXPECT_NEAR(second.x0, 50.0f, 1e-3);
    EXPECT_NEAR(second.x1, 75.0f, 1e-3);
    EXPECT_FLOAT_EQ(defaultTextStyle.x, 0.0f);

    // A text longer than 1023 characters is cut to 1023.
    BeginText(probe);
    std::string longText(3000, 'x');
    PrintText("%s", longText.c_str());
    EXPECT_FLOAT_EQ(currentTextStyle->x, 1023.0f);
    EndText();
}

TEST_F(TextGL, AlignsAndScalesAboutTheAnchor) {
    // A text 100 wide ("bbbbb") right-aligned at 500 ends there; centred it
    // straddles 500.
    BeginText(probe);
    SetTextPosition(500, 300);
    SetTextHAlign(AlignRight);
    Box right = Feedback([] { PrintText("bbbbb"); });
    EXPECT_FLOAT_EQ(currentTextStyle->x, 600.0f) << "the advance ignores alignment";
    SetTextPosition(500, 300);
    SetTextHAlign(AlignCenter);
    Box centre = Feedback([] { PrintText("bbbbb"); });
    SetTextHAlign(99); // not a horizontal code: left
    SetTextPosition(500, 300);
    Box left = Feedback([] { PrintText("bbbbb"); });
    EndText();
    EXPECT_NEAR(right.x0, 400.0f, 1e-3);
    EXPECT_NEAR(right.x1, 500.0f, 1e-3);
    EXPECT_NEAR(centre.x0, 450.0f, 1e-3);
    EXPECT_NEAR(centre.x1, 550.0f, 1e-3);
    EXPECT_NEAR(left.x0, 500.0f, 1e-3);

    // Scale 2: "ee" (30) measures and advances 60; glyphs are 28 high.
    BeginText(probe);
    SetTextPosition(100, 100);
    SetTextScale(2, 2);
    EXPECT_FLOAT_EQ(TextWidth(probe, "ee"), 60.0f);
    EXPECT_FLOAT_EQ(TextHeight(probe), 28.0f);
    Box scaled = Feedback([] { PrintText("ee"); });
    EXPECT_FLOAT_EQ(currentTextStyle->x, 160.0f);
    // Right-aligned at scale 2 the text still ends exactly at the anchor.
    SetTextPosition(300, 100);
    SetTextHAlign(AlignRight);
    Box scaledRight = Feedback([] { PrintText("ee"); });
    EndText();
    EXPECT_NEAR(scaled.x0, 100.0f, 1e-3);
    EXPECT_NEAR(scaled.x1, 160.0f, 1e-3);
    EXPECT_NEAR(scaled.y1, 128.0f, 1e-3);
    EXPECT_NEAR(scaledRight.x0, 240.0f, 1e-3);
    EXPECT_NEAR(scaledRight.x1, 300.0f, 1e-3);

    // Height 14: top alignment at y = 100 hangs the text down to 86;
    // centred it straddles 100.
    BeginText(probe);
    SetTextPosition(10, 100);
    SetTextVAlign(AlignTop);
    Box top = Feedback([] { PrintText("a"); });
    SetTextPosition(10, 100);
    SetTextVAlign(AlignCenter);
    Box middle = Feedback([] { PrintText("a"); });
    EndText();
    EXPECT_NEAR(top.y0, 86.0f, 1e-3);
    EXPECT_NEAR(top.y1, 100.0f, 1e-3);
    EXPECT_NEAR(middle.y0, 93.0f, 1e-3);
    EXPECT_NEAR(middle.y1, 107.0f, 1e-3);
}

TEST_F(TextGL, RotatesAboutTheAnchorAndReplacesTheModelView) {
    // 90 degrees, right-aligned: the text (100 long, 14 high) turns about its
    // anchor (400, 300) and so runs up to it from (400, 200), lying left of x 400.
    glTranslatef(-50, 70, 0); // the caller's transform is replaced
    BeginText(probe);
    SetTextPosition(400, 300);
    SetTextRotation(90);
    SetTextHAlign(AlignRight);
    Box turned = Feedback([] { PrintText("bbbbb"); });
    EndText();
    EXPECT_NEAR(turned.x0, 386.0f, 1e-3);
    EXPECT_NEAR(turned.x1, 400.0f, 1e-3);
    EXPECT_NEAR(turned.y0, 200.0f, 1e-3);
    EXPECT_NEAR(turned.y1, 300.0f, 1e-3);
    // The caller's matrix is back.
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[12], -50.0f);
    EXPECT_FLOAT_EQ(m[13], 70.0f);
    EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), 1);
    glLoadIdentity();
}

// The window's pixel at (x, y), y from the bottom: red, green, blue.
struct Rgb {
    int r, g, b;
};
std::vector<unsigned char> ReadWindow() {
    std::vector<unsigned char> pixels(static_cast<size_t>(WindowW) * WindowH * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WindowW, WindowH, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}
Rgb At(const std::vector<unsigned char> &p, int x, int y) {
    const unsigned char *q = &p[(static_cast<size_t>(y) * WindowW + x) * 3];
    return {q[0], q[1], q[2]};
}
bool IsInk(Rgb c) {
    // Black at alpha 0.75 over white: a quarter of white is left.
    return c.r >= 60 && c.r <= 68 && c.g == c.r && c.b == c.r;
}
bool IsWhite(Rgb c) {
    return c.r == 255 && c.g == 255 && c.b == 255;
}

TEST_F(TextGL, DrawsBlackAtThreeQuartersWhereTheLayoutSays) {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    PrintAt(100, 50, probe, "M");  // solid 16 x 14
    PrintAt(300, 50, probe, "T");  // solid in its upper 7 rows
    PrintAt(500, 50, probe, "LM"); // solid in its left 8 columns, then M
    std::vector<unsigned char> p = ReadWindow();

    int inkM = 0;
    for (int y = 40; y < 75; ++y) {
        for (int x = 90; x < 130; ++x) {
            bool inside = x >= 100 && x < 116 && y >= 50 && y < 64;
            EXPECT_TRUE(inside ? IsInk(At(p, x, y)) : IsWhite(At(p, x, y)))
                << "M at " << x << ", " << y << ": " << At(p, x, y).r;
            inkM += inside;
        }
    }
    EXPECT_EQ(inkM, 16 * 14);
    // Upright: ink in the upper half of "T", none in the lower.
    for (int x = 300; x < 316; ++x) {
        for (int y = 50; y < 64; ++y) {
            bool upper = y >= 57;
            EXPECT_TRUE(upper ? IsInk(At(p, x, y)) : IsWhite(At(p, x, y)))
                << "T at " << x << ", " << y;
        }
    }
    // Not mirrored: ink on the left of "L"; the M after it starts at 516.
    for (int x = 500; x < 532; ++x) {
        bool ink = x < 508 || x >= 516;
        EXPECT_TRUE(ink ? IsInk(At(p, x, 55)) : IsWhite(At(p, x, 55))) << "LM at " << x;
    }
    SDL_GL_SwapBuffers();
}

TEST_F(TextGL, ViewerFontDrawsWithinItsMeasure) {
    ASSERT_EQ(LoadFont(), 0) << "run in the build directory, beside fonts/";
    const char *banner = "vorN " VORN_VERSION_STRING " :: vorn.example.org";
    float width = TextWidth(mainFont, banner);
    EXPECT_LE(width, 260.0f);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    PrintAt(WindowW - 260, 0, mainFont, banner);
    PrintAt(10, 0, mainFont, "59.94 fps");
    std::vector<unsigned char> p = ReadWindow();
    int inkBanner = 0;
    int inkFps = 0;
    int partial = 0;
    int stray = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < WindowW; ++x) {
            Rgb c = At(p, x, y);
            if (IsWhite(c)) {
                continue;
            }
            partial += c.r > 80 && c.r < 230;
            bool inBanner = x >= WindowW - 260 && x < WindowW - 260 + width && y < 14;
            bool inFps = x >= 10 && x < 10 + TextWidth(mainFont, "59.94 fps") && y < 14;
            inkBanner += inBanner;
            inkFps += inFps;
            stray += !inBanner && !inFps;
        }
    }
    EXPECT_GT(inkBanner, 200);
    EXPECT_GT(inkFps, 60);
    EXPECT_EQ(stray, 0) << "ink outside the measured text";
    EXPECT_GT(partial, 50) << "the glyph edges are not anti-aliased";
    FreeBmfFont(mainFont);
    mainFont = nullptr;
}

} // namespace
