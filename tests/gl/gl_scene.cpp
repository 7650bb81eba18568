// Sky box and help panel in a real GL context.
#include "app/world.h"
#include "app/log.h"
#include "render/help.h"
#include "render/sky.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"
#include "datagen/bmpfile.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Each test runs in a scratch directory whose textures/ it fills itself.
class SceneGL : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        opened = OpenBareWindow(800, 600);
    }
    void SetUp() override {
        ASSERT_EQ(opened, 0);
        CaptureLog();
        ASSERT_NE(getcwd(previousDir, sizeof previousDir), nullptr);
        scratch = MakeScratchDir();
        ASSERT_EQ(chdir(scratch.c_str()), 0);
        ASSERT_EQ(mkdir("textures", 0755), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(previousDir), 0);
    }
    static int opened;
    char previousDir[4096];
    std::string scratch;
};
int SceneGL::opened = -1;

unsigned int Sky(int, int r) {
    return r < 8 ? 0xE0E8F0u : 0x3060C0u;
}

// Draws list 3 under the overlay projection and reads the window back.
std::vector<unsigned char> DrawHelpPanel() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, 800, 600);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 800, 0, 600, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glCallList(3);
    std::vector<unsigned char> pixels(size_t{800} * 600 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

unsigned int PixelAt(const std::vector<unsigned char> &p, int x, int y) {
    const unsigned char *q = &p[(static_cast<size_t>(y) * 800 + x) * 3];
    return (q[0] << 16) | (q[1] << 8) | q[2];
}

TEST_F(SceneGL, SkyTexturesLoadSideThenTop) {
    ASSERT_EQ(WriteColourBmp("textures/skySIDE.bmp", 16, 16, 24, Sky), 0);
    std::vector<unsigned char> rgba(size_t{8} * 8 * 4, 200);
    ASSERT_EQ(WriteBmp("textures/skyTOP.bmp", 8, 8, 4, rgba.data()), 0);
    ASSERT_EQ(LoadSkyTextures(), 0);
    EXPECT_EQ(CapturedLog(), "");
    EXPECT_TRUE(glIsTexture(skySideTexture));
    EXPECT_TRUE(glIsTexture(skyTopTexture));
    EXPECT_NE(skySideTexture, skyTopTexture);
    GLint format = 0, width = 0;
    glBindTexture(GL_TEXTURE_2D, skyTopTexture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_TRUE(format == 4 || format == GL_RGBA || format == GL_RGBA8) << format;
    EXPECT_EQ(width, 8);

    BuildSkyBox(0, 0, 0, SkyBoxWidth, SkyBoxHeight, SkyBoxWidth);
    EXPECT_TRUE(glIsList(2));
    // Running the list sets clamped, linear sampling on the top texture last.
    glCallList(2);
    GLint bound = 0, wrap = 0, filter = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), skyTopTexture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SceneGL, AMissingSideImageStopsBeforeTheTop) {
    // A top image that would log a line of its own if it were ever opened.
    FILE *f = fopen("textures/skyTOP.bmp", "wb");
    ASSERT_NE(f, nullptr);
    fputs("not an image", f);
    fclose(f);
    EXPECT_EQ(LoadSkyTextures(), -1);
    std::string log = CapturedLog();
    EXPECT_EQ(log.rfind("ERROR: loading texture file textures/skySIDE.bmp failed with error: ", 0),
              0u)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

TEST_F(SceneGL, APalettisedSkyImageIsRefused) {
    ASSERT_EQ(WriteGreyBmp("textures/skySIDE.bmp", 16, 16, [](int, int) { return 9; }), 0);
    EXPECT_EQ(LoadSkyTextures(), -1);
    EXPECT_EQ(CapturedLog(), "ERROR: file: textures/skySIDE.bmp is in unsupported pixel format!\n");

    CaptureLog();
    ASSERT_EQ(WriteColourBmp("textures/skySIDE.bmp", 16, 16, 24, Sky), 0);
    ASSERT_EQ(WriteGreyBmp("textures/skyTOP.bmp", 16, 16, [](int, int) { return 9; }), 0);
    EXPECT_EQ(LoadSkyTextures(), -1);
    EXPECT_EQ(CapturedLog(), "ERROR: file: textures/skyTOP.bmp is in unsupported pixel format!\n");
}

TEST_F(SceneGL, TheHelpPanelShowsItsImageUpright) {
    // The first 16 rows red, the rest blue, in the bytes GL reads.
    std::vector<unsigned char> rgb(size_t{32} * 32 * 3, 0);
    for (int i = 0; i < 32 * 32; ++i) {
        rgb[i * 3 + (i < 16 * 32 ? 0 : 2)] = 255;
    }
    ASSERT_EQ(WriteBmp("textures/help.bmp", 32, 32, 3, rgb.data()), 0);
    BuildHelpOverlay();
    EXPECT_EQ(CapturedLog(), "");
    EXPECT_TRUE(glIsList(3));
    std::vector<unsigned char> p = DrawHelpPanel();
    EXPECT_EQ(PixelAt(p, 400, 500), 0xFF0000u); // upper part of the panel
    EXPECT_EQ(PixelAt(p, 400, 100), 0x0000FFu); // lower part
    EXPECT_EQ(PixelAt(p, 148, 300), 0x000000u); // left of the panel
    EXPECT_EQ(PixelAt(p, 702, 300), 0x000000u); // right of it
    EXPECT_EQ(PixelAt(p, 400, 48), 0x000000u);  // below it
    EXPECT_EQ(PixelAt(p, 400, 552), 0x000000u); // above it
}

TEST_F(SceneGL, AMissingHelpImageLeavesAWhitePanel) {
    BuildHelpOverlay();
    EXPECT_EQ(CapturedLog().rfind("ERROR: loading help failed with error: ", 0), 0u);
    std::vector<unsigned char> p = DrawHelpPanel();
    EXPECT_EQ(PixelAt(p, 400, 300), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(p, 151, 51), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(p, 699, 549), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(p, 400, 560), 0x000000u);

    CaptureLog();
    ASSERT_EQ(WriteGreyBmp("textures/help.bmp", 8, 8, [](int, int) { return 1; }), 0);
    BuildHelpOverlay();
    EXPECT_EQ(CapturedLog(), "ERROR: help texture file is in unsupported pixel format!\n");
    p = DrawHelpPanel();
    EXPECT_EQ(PixelAt(p, 400, 300), 0xFFFFFFu);
}

} // namespace
