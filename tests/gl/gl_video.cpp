// The viewer's window and fixed GL state, in a real GL context.
#include "app/log.h"
#include "app/world.h"
#include "font/bmf.h"
#include "render/gl_errors.h"
#include "render/video.h"
#include "tests/support/viewer_fixture.h"
#include "tests/support/test_files.h"
#include "terrain/heightmap.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using ViewerGL = StartedViewerTest;

void ExpectFloats(GLenum what, const std::vector<float> &expected, const char *name) {
    GLfloat v[16] = {};
    glGetFloatv(what, v);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_FLOAT_EQ(v[i], expected[i]) << name << "[" << i << "]";
    }
}

TEST_F(ViewerGL, StartsFullScreenAt800x600) {
    EXPECT_NE(startLog.find("info: entering fullscreen!\n"), std::string::npos) << startLog;
    Uint32 wanted = SDL_FULLSCREEN | SDL_OPENGL | SDL_RESIZABLE | SDL_HWPALETTE;
    EXPECT_EQ(videoState.videoFlags & wanted, wanted);
    ASSERT_NE(videoState.screen, nullptr);
    EXPECT_EQ(videoState.screen->w, 800);
    EXPECT_EQ(videoState.screen->h, 600);
    EXPECT_FLOAT_EQ(videoState.aspect, 800.0f / 600.0f);
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(ViewerGL, SetsTheFixedState) {
    ExpectFloats(GL_COLOR_CLEAR_VALUE, {1, 1, 1, 1}, "clear colour");
    GLint v = 0;
    glGetIntegerv(GL_FRONT_FACE, &v);
    EXPECT_EQ(v, GL_CW);
    glGetIntegerv(GL_CULL_FACE_MODE, &v);
    EXPECT_EQ(v, GL_BACK);
    glGetIntegerv(GL_SHADE_MODEL, &v);
    EXPECT_EQ(v, GL_SMOOTH);
    glGetIntegerv(GL_BLEND_SRC, &v);
    EXPECT_EQ(v, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &v);
    EXPECT_EQ(v, GL_ONE_MINUS_SRC_ALPHA);
    for (GLenum cap :
         {GL_CULL_FACE, GL_DEPTH_TEST, GL_TEXTURE_2D, GL_BLEND, GL_LIGHTING, GL_LIGHT0, GL_FOG}) {
        EXPECT_TRUE(glIsEnabled(cap)) << "capability 0x" << std::hex << cap;
    }
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    glGetIntegerv(GL_COLOR_MATERIAL_FACE, &v);
    EXPECT_EQ(v, GL_FRONT);
    glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &v);
    EXPECT_EQ(v, GL_AMBIENT_AND_DIFFUSE);
}

TEST_F(ViewerGL, LightsFromAboveTheEyeAndFogsToWhite) {
    GLfloat p[4] = {};
    glGetLightfv(GL_LIGHT0, GL_POSITION, p);
    EXPECT_FLOAT_EQ(p[0], 0.0f);
    EXPECT_FLOAT_EQ(p[1], 382.5f * HeightStep);
    EXPECT_FLOAT_EQ(p[2], 0.0f);
    EXPECT_FLOAT_EQ(p[3], 1.0f);
    GLfloat c[4] = {};
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, c);
    EXPECT_FLOAT_EQ(c[0], 0.35f);
    EXPECT_FLOAT_EQ(c[1], 0.25f);
    EXPECT_FLOAT_EQ(c[2], 0.01f);
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, c);
    EXPECT_FLOAT_EQ(c[0], 0.25f);
    EXPECT_FLOAT_EQ(c[1], 0.8f);
    EXPECT_FLOAT_EQ(c[2], 0.2f);
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, c);
    EXPECT_FLOAT_EQ(c[0] + c[1] + c[2] + c[3], 4.0f);

    ExpectFloats(GL_FOG_DENSITY, {0.0004f}, "fog density");
    ExpectFloats(GL_FOG_COLOR, {1, 1, 1, 1}, "fog colour");
    GLint v = 0;
    glGetIntegerv(GL_FOG_MODE, &v);
    EXPECT_EQ(v, GL_EXP);
    glGetIntegerv(GL_FOG_HINT, &v);
    EXPECT_EQ(v, GL_NICEST);
}

TEST_F(ViewerGL, ResizeRebuildsViewportAndProjection) {
    ResizeWindow(640, 480);
    ASSERT_NE(videoState.screen, nullptr);
    EXPECT_EQ(videoState.screen->w, 640);
    EXPECT_EQ(videoState.screen->h, 480);
    EXPECT_FLOAT_EQ(videoState.aspect, 640.0f / 480.0f);
    ExpectFloats(GL_VIEWPORT, {0, 0, 640, 480}, "viewport");
    // gluPerspective(45, aspect, 4, 5000)
    double f = 1.0 / tan(45.0 * M_PI / 360.0);
    GLfloat m[16] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[0], f / (640.0 / 480.0), 1e-5);
    EXPECT_NEAR(m[5], f, 1e-5);
    EXPECT_NEAR(m[10], (5000.0 + 4.0) / (4.0 - 5000.0), 1e-5);
    EXPECT_NEAR(m[14], 2.0 * 5000.0 * 4.0 / (4.0 - 5000.0), 1e-3);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    ExpectFloats(GL_MODELVIEW_MATRIX, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
                 "model-view");

    ResizeWindow(0, 0);
    EXPECT_EQ(videoState.screen->w, 1);
    EXPECT_EQ(videoState.screen->h, 1);
    EXPECT_FLOAT_EQ(videoState.aspect, 1.0f);
    ExpectFloats(GL_VIEWPORT, {0, 0, 1, 1}, "viewport");

    ResizeWindow(0, 300);
    EXPECT_EQ(videoState.screen->w, 1);
    EXPECT_EQ(videoState.screen->h, 300);

    ResizeWindow(800, 600);
    EXPECT_EQ(videoState.screen->w, 800);
    EXPECT_EQ(CapturedLog(), "");
}

TEST_F(ViewerGL, DrainsAndLogsPendingErrors) {
    while (glGetError() != GL_NO_ERROR) {
    }
    EXPECT_EQ(DrainGlErrors(), 0);
    EXPECT_EQ(CapturedLog(), "");
    glEnable(0x1234);
    EXPECT_EQ(DrainGlErrors(), 1);
    EXPECT_EQ(CapturedLog(), "ERROR: GL_ERROR = invalid enumerant\n");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The terrain, sky and help lists keep their fixed ids: no glyph list of the
// font, made before the help and terrain lists, may take one, or compiling
// the help panel would replace a glyph and freeing the font would delete it.
TEST_F(ViewerGL, GlyphListsNeverTakeAFixedListId) {
    ASSERT_NE(mainFont, nullptr);
    EXPECT_GT(mainFont->listBase, FixedListCount);
    for (unsigned int id : {TerrainListId, SkyListId, HelpListId}) {
        EXPECT_TRUE(glIsList(id)) << id;
    }
    FreeBmfFont(mainFont);
    mainFont = nullptr;
    for (unsigned int id : {TerrainListId, SkyListId, HelpListId}) {
        EXPECT_TRUE(glIsList(id)) << "list " << id << " went with the font";
    }
    ASSERT_EQ(LoadFont(), 0);
    EXPECT_GT(mainFont->listBase, FixedListCount);
}

} // namespace
