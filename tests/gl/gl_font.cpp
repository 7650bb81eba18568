// The BMF loader in a real GL context: the texture it makes, the glyph
// lists it compiles, what it leaves as it found it, and the viewer's own
// compiled font.
#include "app/version.h"
#include "app/log.h"
#include "font/bmf.h"
#include "font/text.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"
#include "tests/unit/test_bmf_files.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

// glGenLists and glGenTextures as the loader sees them: the real ones, unless
// a test asks glGenLists to find no free names.
static bool genListsFails = false;
static GLuint lastTextureMade = 0;

extern "C" GLuint glGenLists(GLsizei range) {
    using Real = GLuint (*)(GLsizei);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "glGenLists"));
    return genListsFails ? 0 : real(range);
}

extern "C" void glGenTextures(GLsizei n, GLuint *names) {
    using Real = void (*)(GLsizei, GLuint *);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "glGenTextures"));
    real(n, names);
    if (n > 0) {
        lastTextureMade = names[0];
    }
}

namespace {

const int WindowW = 256;
const int WindowH = 256;

struct FeedbackVertex {
    float x, y, s, t;
};
using Polygon = std::vector<FeedbackVertex>;

// The polygons that draw() sends down the pipeline, in window coordinates
// with their texture coordinates.
std::vector<Polygon> Feedback(void (*draw)()) {
    static GLfloat buffer[1 << 16];
    glFeedbackBuffer(sizeof buffer / sizeof buffer[0], GL_3D_COLOR_TEXTURE, buffer);
    glRenderMode(GL_FEEDBACK);
    draw();
    GLint n = glRenderMode(GL_RENDER);
    std::vector<Polygon> polygons;
    for (GLint i = 0; i < n;) {
        GLfloat token = buffer[i++];
        if (token == GL_POLYGON_TOKEN) {
            int count = static_cast<int>(buffer[i++]);
            Polygon p;
            for (int v = 0; v < count; ++v, i += 11) {
                p.push_back({buffer[i], buffer[i + 1], buffer[i + 7], buffer[i + 8]});
            }
            polygons.push_back(p);
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            ++i;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return polygons;
}

struct Box {
    float x0, y0, x1, y1, s0, t0, s1, t1;
};

// The extent of some polygons, in window and texture coordinates.
Box Extent(const std::vector<Polygon> &polygons) {
    Box b = {1e9f, 1e9f, -1e9f, -1e9f, 1e9f, 1e9f, -1e9f, -1e9f};
    for (const Polygon &p : polygons) {
        for (const FeedbackVertex &v : p) {
            b.x0 = std::min(b.x0, v.x);
            b.x1 = std::max(b.x1, v.x);
            b.y0 = std::min(b.y0, v.y);
            b.y1 = std::max(b.y1, v.y);
            b.s0 = std::min(b.s0, v.s);
            b.s1 = std::max(b.s1, v.s);
            b.t0 = std::min(b.t0, v.t);
            b.t1 = std::max(b.t1, v.t);
        }
    }
    return b;
}

// The vertex at window position (x, y) of the last polygon drawn there.
FeedbackVertex CornerAt(const std::vector<Polygon> &polygons, float x, float y) {
    for (auto p = polygons.rbegin(); p != polygons.rend(); ++p) {
        for (const FeedbackVertex &v : *p) {
            if (std::abs(v.x - x) < 0.01f && std::abs(v.y - y) < 0.01f) {
                return v;
            }
        }
    }
    ADD_FAILURE() << "no vertex at " << x << ", " << y;
    return {0, 0, -1, -1};
}

class FontGL : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        opened = OpenBareWindow(WindowW, WindowH);
        dir = MakeScratchDir();
    }
    void SetUp() override {
        ASSERT_EQ(opened, 0) << "no GL window";
        CaptureLog();
        glViewport(0, 0, WindowW, WindowH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, WindowW, 0, WindowH, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(CapturedLog(), "") << "the loader writes no log line";
    }
    // Writes bytes to a file of the scratch directory and loads it.
    static BmfFont *Load(const std::vector<unsigned char> &bytes) {
        std::string path = dir + "/font.bmf";
        if (!WriteHandFile(path, bytes)) {
            ADD_FAILURE() << "cannot write " << path;
            return nullptr;
        }
        return LoadBmfFont(path.c_str());
    }
    static int opened;
    static std::string dir;
};
int FontGL::opened = -1;
std::string FontGL::dir;

GLint TexLevel(GLenum what) {
    GLint v = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &v);
    return v;
}

GLint TexParameter(GLenum what) {
    GLint v = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
    return v;
}

std::vector<unsigned char> ReadTexture(int w, int h) {
    std::vector<unsigned char> texels(static_cast<size_t>(w) * h + 64, 0xEE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    texels.resize(static_cast<size_t>(w) * h);
    return texels;
}

// The version 256 font of the design's example: W = 256, h = 14, "A" 10 wide.
HandBmf ExampleFont(std::vector<unsigned char> *sheet) {
    HandBmf f;
    f.widths['A'] = 10;
    f.widths['i'] = 7;
    f.widths['~'] = 16;
    sheet->assign(size_t{256} * 128, 0);
    for (size_t i = 0; i < sheet->size(); ++i) {
        (*sheet)[i] = static_cast<unsigned char>((i / 256) * 3 + (i % 256) * 5);
    }
    f.runs = HandRuns(*sheet);
    return f;
}

GLuint testListBase = 0;

TEST_F(FontGL, LoadsTheSheetAsAnAlphaTexture) {
    std::vector<unsigned char> sheet;
    HandBmf f = ExampleFont(&sheet);
    f.header[0] = 1;
    f.header[5] = 6;
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    BmfFont *font = Load(HandBmfBytes(f));
    ASSERT_NE(font, nullptr);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), other) << "the texture binding is not restored";

    EXPECT_EQ(0, memcmp(font->header, f.header, 6));
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(font->widths[c], c >= 32 && c < 128 ? f.widths[c] : 0) << c;
    }
    glBindTexture(GL_TEXTURE_2D, font->texture);
    EXPECT_EQ(TexLevel(GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(TexLevel(GL_TEXTURE_HEIGHT), 128);
    EXPECT_EQ(TexLevel(GL_TEXTURE_INTERNAL_FORMAT), GL_ALPHA);
    EXPECT_EQ(TexParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_T), GL_CLAMP);
    // Texel rows as stored: the file's first row is t = 0, nothing flipped.
    EXPECT_EQ(ReadTexture(256, 128), sheet);

    FreeBmfFont(font);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &other);
}

// Each draw keeps the glyphs' closing translations to itself.
void DrawA() {
    glPushMatrix();
    glCallList(testListBase + 'A');
    glPopMatrix();
}
void DrawAA() {
    glPushMatrix();
    glTranslatef(100.0f, 50.0f, 0.0f);
    glCallList(testListBase + 'A');
    glCallList(testListBase + 'A');
    glCallList(testListBase + 'i');
    glPopMatrix();
}
void DrawUncompiled() {
    glPushMatrix();
    glCallList(testListBase + 31);
    glCallList(testListBase + 128);
    glCallList(testListBase + 255);
    glCallList(testListBase + 'A');
    glPopMatrix();
}

TEST_F(FontGL, GlyphListsDrawTheirRectangleAndAdvance) {
    std::vector<unsigned char> sheet;
    BmfFont *font = Load(HandBmfBytes(ExampleFont(&sheet)));
    ASSERT_NE(font, nullptr);
    testListBase = font->listBase;

    // "A": a 10 x 14 quad from the origin, sampling x 19-29, y 33-47.
    std::vector<Polygon> a = Feedback(DrawA);
    ASSERT_FALSE(a.empty());
    Box b = Extent(a);
    EXPECT_NEAR(b.x0, 0.0f, 1e-3);
    EXPECT_NEAR(b.x1, 10.0f, 1e-3);
    EXPECT_NEAR(b.y0, 0.0f, 1e-3);
    EXPECT_NEAR(b.y1, 14.0f, 1e-3);
    EXPECT_FLOAT_EQ(b.s0, 19.0f / 256);
    EXPECT_FLOAT_EQ(b.s1, 29.0f / 256);
    EXPECT_FLOAT_EQ(b.t0, 33.0f / 128);
    EXPECT_FLOAT_EQ(b.t1, 47.0f / 128);
    // Upright and not mirrored: the top left corner samples the sheet's
    // upper left (t0 is the upper row), the bottom right its lower right.
    FeedbackVertex topLeft = CornerAt(a, 0.0f, 14.0f);
    EXPECT_FLOAT_EQ(topLeft.s, 19.0f / 256);
    EXPECT_FLOAT_EQ(topLeft.t, 33.0f / 128);
    FeedbackVertex bottomRight = CornerAt(a, 10.0f, 0.0f);
    EXPECT_FLOAT_EQ(bottomRight.s, 29.0f / 256);
    EXPECT_FLOAT_EQ(bottomRight.t, 47.0f / 128);

    // Lists laid side by side: "AAi" covers 10 + 10 + 7 from x = 100, and
    // the odd-width "i" (glyph 73: column 9, cell centre x 152) spans 149-156.
    std::vector<Polygon> run = Feedback(DrawAA);
    Box all = Extent(run);
    EXPECT_NEAR(all.x0, 100.0f, 1e-3);
    EXPECT_NEAR(all.x1, 127.0f, 1e-3);
    FeedbackVertex iRight = CornerAt(run, 127.0f, 50.0f);
    EXPECT_FLOAT_EQ(iRight.s, 156.0f / 256);
    FeedbackVertex iLeft = CornerAt(run, 120.0f, 64.0f);
    EXPECT_FLOAT_EQ(iLeft.s, 149.0f / 256);
    EXPECT_FLOAT_EQ(iLeft.t, 65.0f / 128); // row 4: cell centre 72

    // Codes without a glyph are reserved names with nothing in them.
    Box only = Extent(Feedback(DrawUncompiled));
    EXPECT_NEAR(only.x0, 0.0f, 1e-3) << "an empty list moved the origin";
    EXPECT_NEAR(only.x1, 10.0f, 1e-3);

    FreeBmfFont(font);
    EXPECT_FALSE(glIsList(testListBase + 'A'));
}

void DrawLast() {
    glPushMatrix();
    glCallList(testListBase + 31);
    glCallList(testListBase + 255);
    glPopMatrix();
}

TEST_F(FontGL, Version257FillsTheLastListName) {
    HandBmf f;
    f.version = 257;
    f.sheetWidth = 512;
    f.header[2] = 20;
    f.widths[255] = 12;
    f.widths[200] = 5;
    f.runs = {255, 1};
    BmfFont *font = Load(HandBmfBytes(f));
    ASSERT_NE(font, nullptr);
    testListBase = font->listBase;
    EXPECT_TRUE(glIsList(font->listBase + 255));
    glBindTexture(GL_TEXTURE_2D, font->texture);
    EXPECT_EQ(TexLevel(GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(TexLevel(GL_TEXTURE_HEIGHT), 512);
    glBindTexture(GL_TEXTURE_2D, 0);
    // Glyph 223: column 15, row 13 of 32-texel cells, centre (496, 432);
    // the empty list 31 before it moves nothing.
    Box b = Extent(Feedback(DrawLast));
    EXPECT_NEAR(b.x1, 12.0f, 1e-3);
    EXPECT_NEAR(b.y1, 20.0f, 1e-3);
    EXPECT_FLOAT_EQ(b.s0, 490.0f / 512);
    EXPECT_FLOAT_EQ(b.s1, 502.0f / 512);
    EXPECT_FLOAT_EQ(b.t0, 422.0f / 512);
    EXPECT_FLOAT_EQ(b.t1, 442.0f / 512);
    FreeBmfFont(font);
}

TEST_F(FontGL, UploadsSheetRowsTightlyAtAnyWidth) {
    // An 18 x 18 sheet: rows of 18 bytes, which GL's default unpack
    // alignment of 4 would read as 20 (past the sheet's end). The caller's
    // own alignment is left as it was.
    HandBmf f;
    f.version = 257;
    f.sheetWidth = 18;
    std::vector<unsigned char> sheet(size_t{18} * 18);
    for (size_t i = 0; i < sheet.size(); ++i) {
        sheet[i] = static_cast<unsigned char>(i);
    }
    f.runs = HandRuns(sheet);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 40);
    BmfFont *font = Load(HandBmfBytes(f));
    ASSERT_NE(font, nullptr);
    GLint v = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &v);
    EXPECT_EQ(v, 8);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &v);
    EXPECT_EQ(v, 40);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    EXPECT_EQ(ReadTexture(18, 18), sheet);
    glBindTexture(GL_TEXTURE_2D, 0);
    FreeBmfFont(font);
}

TEST_F(FontGL, NoListNamesLeavesNothingBehind) {
    std::vector<unsigned char> sheet;
    std::vector<unsigned char> bytes = HandBmfBytes(ExampleFont(&sheet));
    lastTextureMade = 0;
    genListsFails = true;
    BmfFont *font = Load(bytes);
    genListsFails = false;
    EXPECT_EQ(font, nullptr);
    ASSERT_NE(lastTextureMade, 0u) << "the loader never made its texture";
    EXPECT_FALSE(glIsTexture(lastTextureMade)) << "the texture was left behind";
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    GLint depth = -1;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 0);
    // And the next load works.
    font = Load(bytes);
    ASSERT_NE(font, nullptr);
    FreeBmfFont(font);
}

TEST_F(FontGL, ViewerFontLoadsAndFrees) {
    // The GL tests run in the build directory, beside fonts/bkant.bmf.
    ASSERT_EQ(LoadFont(), 0) << CapturedLog();
    ASSERT_NE(mainFont, nullptr);
    EXPECT_EQ(mainFont->header[2], 14);
    glBindTexture(GL_TEXTURE_2D, mainFont->texture);
    EXPECT_EQ(TexLevel(GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(TexLevel(GL_TEXTURE_HEIGHT), 128);
    glBindTexture(GL_TEXTURE_2D, 0);
    // The banner leaves the frame 260 pixels.
    EXPECT_LE(TextWidth(mainFont, "vorN " VORN_VERSION_STRING " :: vorn.example.org"), 260.0f);
    EXPECT_GT(TextWidth(mainFont, "59.94 fps"), 30.0f);

    GLuint texture = mainFont->texture;
    GLuint base = mainFont->listBase;
    EXPECT_TRUE(glIsTexture(texture));
    EXPECT_TRUE(glIsList(base + 'v'));
    FreeBmfFont(mainFont);
    mainFont = nullptr;
    EXPECT_FALSE(glIsTexture(texture));
    EXPECT_FALSE(glIsList(base + 'v'));
}

} // namespace
