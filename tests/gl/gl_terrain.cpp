// The grass texture and the terrain display list, in a real GL context.
#include "app/log.h"
#include "render/gl_errors.h"
#include "render/video.h"
#include "tests/support/viewer_fixture.h"
#include "tests/support/test_files.h"
#include "terrain/chunks.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"
#include "terrain/terrain_list.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class TerrainListGL : public StartedViewerTest {
  protected:
    void SetUp() override {
        StartedViewerTest::SetUp();
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        EXPECT_EQ(DrainGlErrors(), 0) << CapturedLog();
    }
};

// A scratch directory with an empty textures/ entered for the test's life;
// Build() runs BuildTerrainList there with no list 1.
class ScratchTextures {
  public:
    ScratchTextures() {
        dir = MakeScratchDir();
        if (getcwd(previous, sizeof previous) && !dir.empty() && chdir(dir.c_str()) == 0) {
            entered = mkdir("textures", 0755) == 0;
        }
    }
    ~ScratchTextures() {
        if (entered || !dir.empty()) {
            remove((dir + "/textures/grass2.bmp").c_str());
            remove((dir + "/textures").c_str());
            remove(dir.c_str());
        }
        if (chdir(previous) != 0) {
            ADD_FAILURE() << "could not return to " << previous;
            return;
        }
        // Back to the viewer's own grass and lists for the tests that follow.
        glDeleteLists(TerrainListId, 1);
        if (BuildTerrainList() != 0) {
            ADD_FAILURE() << "the terrain list could not be rebuilt";
        }
    }
    int Build() {
        glDeleteLists(TerrainListId, 1);
        CaptureLog();
        return BuildTerrainList();
    }
    bool entered = false;
    std::string dir;
    char previous[4096] = "";
};

unsigned int Checker(int c, int r) {
    return (c + r) % 2 ? 0x3080C0u : 0xE04010u;
}

// A 32-bit BMP (bottom-up rows, bytes B, G, R, A), which the media layer's
// own writer cannot make: it saves 32-bit surfaces as 24-bit files.
int WriteBmp32(const char *path, int w, int h, unsigned int (*rgb)(int, int)) {
    std::vector<unsigned char> file(54 + static_cast<size_t>(w) * h * 4, 0);
    auto put32 = [&](size_t at, unsigned int v) {
        for (int i = 0; i < 4; ++i) {
            file[at + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<unsigned int>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<unsigned int>(w));
    put32(22, static_cast<unsigned int>(h));
    file[26] = 1;
    file[28] = 32;
    put32(34, static_cast<unsigned int>(w) * h * 4);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const unsigned int v = rgb(c, h - 1 - r);
            unsigned char *p = &file[54 + (static_cast<size_t>(r) * w + c) * 4];
            p[0] = v & 0xFF;
            p[1] = (v >> 8) & 0xFF;
            p[2] = (v >> 16) & 0xFF;
            p[3] = static_cast<unsigned char>(0x40 + c * 16);
        }
    }
    FILE *f = fopen(path, "wb");
    if (!f) {
        return -1;
    }
    const size_t written = fwrite(file.data(), 1, file.size(), f);
    return fclose(f) == 0 && written == file.size() ? 0 : -1;
}

// The decoded bytes of an image, row by row without padding.
std::vector<unsigned char> DecodedBytes(const char *path, int *w, int *h, int *bytes) {
    std::vector<unsigned char> out;
    SDL_Surface *image = IMG_Load(path);
    if (!image) {
        return out;
    }
    *w = image->w;
    *h = image->h;
    *bytes = image->format->BytesPerPixel;
    for (int r = 0; r < image->h; ++r) {
        const Uint8 *row =
            static_cast<const Uint8 *>(image->pixels) + static_cast<ptrdiff_t>(r) * image->pitch;
        out.insert(out.end(), row, row + static_cast<ptrdiff_t>(image->w) * *bytes);
    }
    SDL_FreeSurface(image);
    return out;
}

// Level 0 of the bound texture as GL holds it, rows without padding.
std::vector<unsigned char> BoundTexels(int w, int h, GLenum format, int bytes) {
    std::vector<unsigned char> texels(static_cast<size_t>(w) * h * bytes);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return texels;
}

GLint TexLevel(int level, GLenum what) {
    GLint v = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &v);
    return v;
}

TEST_F(TerrainListGL, StartUpCompilesListOneAndTheBaseChunksWithoutWholeMapNormals) {
    EXPECT_EQ(startLog.find("ERROR"), std::string::npos) << startLog;
    EXPECT_TRUE(glIsList(TerrainListId));
    EXPECT_NE(grassTexture, 0u);
    EXPECT_TRUE(glIsTexture(grassTexture));
    // The normals are worked out chunk by chunk; no plane of them is kept.
    EXPECT_EQ(terrainMesh.normalX, nullptr);
    EXPECT_EQ(terrainMesh.normalY, nullptr);
    EXPECT_EQ(terrainMesh.normalZ, nullptr);
    ASSERT_GT(terrainChunks.count, 0);
    const int base = terrainChunks.baseLevel;
    for (int row = 0; row < terrainChunks.side[base]; ++row) {
        for (int column = 0; column < terrainChunks.side[base]; ++column) {
            const TerrainChunk *chunk = ChunkAt(base, column, row);
            EXPECT_TRUE(glIsList(chunk->list)) << column << "," << row;
            EXPECT_NE(chunk->list, TerrainListId);
        }
    }
}

TEST_F(TerrainListGL, CallingTheListBindsTheGrassWithItsFilters) {
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(0, 0, -100000); // far out of sight: only the state matters here
    glCallList(TerrainListId);
    glPopMatrix();
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), grassTexture);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR_MIPMAP_NEAREST);
    // The filters went onto the grass, not onto the texture bound before.
    glBindTexture(GL_TEXTURE_2D, other);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST_MIPMAP_LINEAR);
    glDeleteTextures(1, &other);
}

TEST_F(TerrainListGL, GrassIsUploadedAsDecodedWithEveryMipmap) {
    int w = 0, h = 0, bytes = 0;
    std::vector<unsigned char> decoded = DecodedBytes("textures/grass2.bmp", &w, &h, &bytes);
    ASSERT_FALSE(decoded.empty());
    ASSERT_EQ(bytes, 3);
    ASSERT_EQ(w, 256);
    ASSERT_EQ(h, 256);
    glBindTexture(GL_TEXTURE_2D, grassTexture);
    EXPECT_EQ(TexLevel(0, GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(TexLevel(8, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(TexLevel(8, GL_TEXTURE_HEIGHT), 1);
    GLint internal = TexLevel(0, GL_TEXTURE_INTERNAL_FORMAT);
    EXPECT_TRUE(internal == 3 || internal == GL_RGB) << internal;
    // No row flip and no channel swap: GL holds the decoded bytes as they lie.
    EXPECT_TRUE(BoundTexels(w, h, GL_RGB, 3) == decoded);
}

TEST_F(TerrainListGL, TwentyFourAndThirtyTwoBitTexturesAreTaken) {
    struct Case {
        int bits;
        GLenum format;
        GLint components;
    };
    for (Case test : {Case{24, GL_RGB, 3}, Case{32, GL_RGBA, 4}}) {
        ScratchTextures scratch;
        ASSERT_TRUE(scratch.entered);
        ASSERT_EQ(test.bits == 24 ? WriteColourBmp("textures/grass2.bmp", 8, 4, 24, Checker)
                                  : WriteBmp32("textures/grass2.bmp", 8, 4, Checker),
                  0);
        ASSERT_EQ(scratch.Build(), 0) << test.bits << ": " << CapturedLog();
        EXPECT_EQ(CapturedLog(), "");
        EXPECT_TRUE(glIsList(TerrainListId));
        glBindTexture(GL_TEXTURE_2D, grassTexture);
        GLint internal = TexLevel(0, GL_TEXTURE_INTERNAL_FORMAT);
        EXPECT_TRUE(internal == test.components || internal == static_cast<GLint>(test.format))
            << test.bits << ": " << internal;
        int w = 0, h = 0, bytes = 0;
        std::vector<unsigned char> decoded = DecodedBytes("textures/grass2.bmp", &w, &h, &bytes);
        ASSERT_EQ(bytes * 8, test.bits);
        EXPECT_TRUE(BoundTexels(w, h, test.format, bytes) == decoded) << test.bits;
    }
}

TEST_F(TerrainListGL, EightBitTextureIsRefusedAndNoListMade) {
    ScratchTextures scratch;
    ASSERT_TRUE(scratch.entered);
    ASSERT_EQ(WriteGreyBmp("textures/grass2.bmp", 8, 8, [](int c, int) { return c * 30; }), 0);
    EXPECT_EQ(scratch.Build(), -1);
    EXPECT_EQ(CapturedLog(), "ERROR: file: textures/grass2.bmp is in unsupported pixel format!\n");
    EXPECT_FALSE(glIsList(TerrainListId));
}

TEST_F(TerrainListGL, MissingTextureIsRefusedAndNoListMade) {
    ScratchTextures scratch;
    ASSERT_TRUE(scratch.entered);
    EXPECT_EQ(scratch.Build(), -1);
    const std::string log = CapturedLog();
    const std::string expected =
        "ERROR: loading texture file textures/grass2.bmp failed with error: ";
    EXPECT_EQ(log.compare(0, expected.size(), expected), 0) << log;
    EXPECT_GT(log.size(), expected.size() + 1) << "no error text: " << log;
    EXPECT_EQ(log.find('\n'), log.size() - 1) << log;
    EXPECT_FALSE(glIsList(TerrainListId));
}

// Draws the terrain looking straight down from above (or up from below) onto
// the middle of the terrain, untextured-lighting aside: the texture replaces the
// colour so that what shows is the grass as uploaded. Returns the RGB pixels
// of the middle 200 x 200 of the 800 x 600 window.
std::vector<unsigned char> DrawTerrainFrom(float eyeY) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    // Up is +y as in the viewer; the tiny step towards -z turns the top of
    // the picture towards -z.
    gluLookAt(0, eyeY, 0, 0, 0, -0.01, 0, 1, 0);
    const Vec3f eye = {0, eyeY, 0}, lookAt = {0, 0, -0.01f};
    for (int frame = 0; frame < 50; ++frame) {
        DrawTerrainView(&eye, &lookAt, 800.0 / 600.0, 600);
        if (terrainView.chunksWaiting == 0) {
            break;
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glPopMatrix();
    glFinish();
    std::vector<unsigned char> pixels(size_t{200} * 200 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(300, 200, 200, 200, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPopAttrib();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    return pixels;
}

TEST_F(TerrainListGL, GroundIsSeenFromAboveInGrassColoursAndCulledFromBelow) {
    ASSERT_EQ(videoState.screen->w, 800);
    std::vector<unsigned char> above = DrawTerrainFrom(2500);
    long sum[3] = {0, 0, 0};
    int white = 0;
    for (size_t i = 0; i < above.size(); i += 3) {
        white += above[i] == 255 && above[i + 1] == 255 && above[i + 2] == 255;
        for (int k = 0; k < 3; ++k) {
            sum[k] += above[i + k];
        }
    }
    EXPECT_EQ(white, 0) << "the clear colour shows through the ground";
    // Green grass: green leads and red stays above blue (a swap would show blue).
    EXPECT_GT(sum[1], sum[0]) << sum[0] << " " << sum[1] << " " << sum[2];
    EXPECT_GT(sum[0], sum[2]) << sum[0] << " " << sum[1] << " " << sum[2];

    std::vector<unsigned char> below = DrawTerrainFrom(-2500);
    int ground = 0;
    for (size_t i = 0; i < below.size(); i += 3) {
        ground += !(below[i] == 255 && below[i + 1] == 255 && below[i + 2] == 255);
    }
    EXPECT_EQ(ground, 0) << "the underside of the ground is drawn";
}

} // namespace
