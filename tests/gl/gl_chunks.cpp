// The terrain's chunks in a real GL context, on the 1024 x 1024 map: what
// they draw against the whole map drawn as one list, the seams between
// levels, and how the view sharpens over the first frames.
#include "app/world.h"
#include "camera/camera.h"
#include "render/gl_errors.h"
#include "terrain/chunks.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"
#include "terrain/terrain_list.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const int Width = 800, Height = 600;

struct View {
    Vec3f eye, lookAt;
    const char *name;
};

class ChunksGL : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        started = StartViewerGL("mapa1024.bmp");
        startLog = CapturedLog();
    }
    static void TearDownTestSuite() {
        if (wholeList != 0) {
            glDeleteLists(wholeList, 1);
        }
    }
    void SetUp() override {
        ASSERT_EQ(started, 0) << startLog;
        saved = terrainView;
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        EXPECT_EQ(DrainGlErrors(), 0);
        terrainView.errorPixels = saved.errorPixels;
        terrainView.frameVertexBudget = saved.frameVertexBudget;
        terrainView.listVertexBudget = saved.listVertexBudget;
        terrainView.wholeList = 0;
        for (int i = 0; i < terrainChunks.count; ++i) {
            terrainChunks.chunks[i].forced = 0;
        }
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glEnable(GL_FOG);
    }

    // The whole map as one list, made once for the suite.
    static unsigned int WholeList() {
        if (wholeList == 0) {
            BuildTerrainMesh();
            wholeList = glGenLists(1);
            if (BuildWholeTerrainList(wholeList) != 0) {
                ADD_FAILURE() << "no whole-map list";
            }
        }
        return wholeList;
    }

    static inline int started = -1;
    static inline std::string startLog;
    static inline unsigned int wholeList = 0;
    TerrainView saved;
};

// Draws the terrain alone from the view, as the frame does, and returns the
// window's pixels.
std::vector<unsigned char> Draw(const View &view) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(Width) / Height, 4.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(view.eye.x, view.eye.y, view.eye.z, view.lookAt.x, view.lookAt.y, view.lookAt.z, 0.0,
              1.0, 0.0);
    DrawTerrainView(&view.eye, &view.lookAt, static_cast<double>(Width) / Height, Height);
    glFinish();
    std::vector<unsigned char> pixels(static_cast<size_t>(Width) * Height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

// Draws the view until every chunk drew what it asked for; returns the last
// picture, and the frames it took in *frames.
std::vector<unsigned char> DrawSettled(const View &view, int *frames) {
    std::vector<unsigned char> pixels;
    for (*frames = 1; *frames <= 200; ++*frames) {
        pixels = Draw(view);
        if (terrainView.chunksWaiting == 0) {
            break;
        }
    }
    return pixels;
}

int CountColour(const std::vector<unsigned char> &a, unsigned char r, unsigned char g,
                unsigned char b) {
    int n = 0;
    for (size_t i = 0; i + 2 < a.size(); i += 3) {
        n += a[i] == r && a[i + 1] == g && a[i + 2] == b;
    }
    return n;
}

// The camera as the start-up placed it.
View StartView() {
    return View{camera.eye, camera.lookAt, "start"};
}

TEST_F(ChunksGL, AtAThresholdOfZeroTheChunksDrawTheWholeListPixelForPixel) {
    const float h = heightMap.heightScale;
    const View views[] = {
        StartView(),
        {{-3000, 1500, -3000}, {0, 0, 0}, "from high over a corner"},
        {{7400, 300, 7400}, {7000, 100, 6000}, "from the map's edge, pitched down"},
        {{-7000, 200, 0}, {0, 0, 0}, "the far plane across the map"},
        {{100, 255 * h, 100}, {150, 0, 400}, "steeply down over the middle"},
        {{0, -400, 0}, {0, -400, 1}, "from under the ground"},
    };
    terrainView.errorPixels = 0.0;
    const unsigned int whole = WholeList();
    for (const View &view : views) {
        int frames = 0;
        const std::vector<unsigned char> chunks = DrawSettled(view, &frames);
        EXPECT_EQ(terrainView.chunksWaiting, 0) << view.name;
        EXPECT_EQ(terrainView.skirtsDrawn, 0) << view.name;
        EXPECT_GT(terrainView.chunksDrawn, 0) << view.name;
        const long chunkTriangles = terrainView.trianglesDrawn;
        terrainView.wholeList = whole;
        const std::vector<unsigned char> reference = Draw(view);
        terrainView.wholeList = 0;
        EXPECT_EQ(CountDifferingPixels(chunks, reference), 0) << view.name;
        // The view draws what it sees, not the whole map.
        EXPECT_LT(chunkTriangles, terrainView.trianglesDrawn) << view.name;
    }
}

TEST_F(ChunksGL, AtTheViewersThresholdAtMostOnePercentOfPixelsDifferByMoreThan40) {
    const View views[] = {
        StartView(),
        {{-3000, 1500, -3000}, {0, 0, 0}, "from high over a corner"},
        {{-7000, 200, 0}, {0, 0, 0}, "toward the horizon across the map"},
    };
    const unsigned int whole = WholeList();
    for (const View &view : views) {
        int frames = 0;
        const std::vector<unsigned char> chunks = DrawSettled(view, &frames);
        terrainView.wholeList = whole;
        const std::vector<unsigned char> reference = Draw(view);
        terrainView.wholeList = 0;
        int far = 0;
        for (size_t i = 0; i < chunks.size(); i += 3) {
            bool differs = false;
            for (size_t k = i; k < i + 3; ++k) {
                differs = differs || std::abs(chunks[k] - reference[k]) > 40;
            }
            far += differs;
        }
        printf("%s: %.3f %% of the pixels differ by more than 40\n", view.name,
               100.0 * far / (Width * Height));
        EXPECT_LE(far, Width * Height / 100) << view.name;
    }
}

TEST_F(ChunksGL, NoBackgroundShowsWhereNeighboursDrawDifferentLevels) {
    // Views that see nothing but ground, leaves beside chunks of level 2 in
    // a checkerboard, the fog off so that the background stands out.
    const View views[] = {
        {{0, 2000, 1500}, {0, 2000 - 1.732f, 1499}, "60 degrees down"},
        {{-2500, 1200, 2500}, {-2499.3f, 1199.0f, 2499.3f}, "45 degrees down, across"},
    };
    terrainView.errorPixels = 0.0;
    glDisable(GL_FOG);
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    const int level = 2;
    ASSERT_LT(level, terrainChunks.levels);
    for (int row = 0; row < terrainChunks.side[level]; ++row) {
        for (int column = 0; column < terrainChunks.side[level]; ++column) {
            ChunkAt(level, column, row)->forced = (column + row) % 2 == 0 ? 1 : 0;
        }
    }
    const unsigned int whole = WholeList();
    for (const View &view : views) {
        terrainView.wholeList = whole;
        const std::vector<unsigned char> reference = Draw(view);
        terrainView.wholeList = 0;
        ASSERT_EQ(CountColour(reference, 255, 0, 255), 0) << view.name << ": not all ground";
        int frames = 0;
        const std::vector<unsigned char> mixed = DrawSettled(view, &frames);
        EXPECT_GT(terrainView.skirtsDrawn, 0) << view.name;
        EXPECT_GT(CountDifferingPixels(mixed, reference), 0)
            << view.name << ": no coarse chunk drawn";
        EXPECT_EQ(CountColour(mixed, 255, 0, 255), 0) << view.name << ": a crack";
    }
}

TEST_F(ChunksGL, TheFirstFrameComesCoarseAndSharpensWithinTheBudget) {
    // A fresh start: the base level only.
    FreeTerrainLists();
    ASSERT_EQ(BuildTerrainList(), 0);
    const long base = terrainView.listVertices;
    const View view = StartView();
    Draw(view);
    EXPECT_GT(terrainView.chunksWaiting, 0) << "the first frame waited for full detail";
    // The leaves under and around the eye are there from the first frame.
    const int leaf = terrainChunks.leafCells;
    const int column = static_cast<int>((view.eye.x + WorldHalfExtent) / heightMap.cellSize);
    const int row = static_cast<int>((view.eye.z + WorldHalfExtent) / heightMap.cellSize);
    for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
            const TerrainChunk *around = ChunkAt(0, column / leaf + dc, row / leaf + dr);
            ASSERT_NE(around, nullptr);
            EXPECT_NE(around->list, 0u) << dc << "," << dr;
        }
    }
    int frames = 1;
    for (; frames < 300 && terrainView.chunksWaiting > 0; ++frames) {
        Draw(view);
        EXPECT_LE(terrainView.verticesCompiled, terrainView.frameVertexBudget) << frames;
    }
    EXPECT_EQ(terrainView.chunksWaiting, 0);
    EXPECT_GT(frames, 2);
    EXPECT_GT(terrainView.listVertices, base);

    // Flying on with little room for lists: the least recently drawn go,
    // and what is held stays within the budget but for the base level and
    // what the frame draws.
    terrainView.listVertexBudget = base + (terrainView.listVertices - base) / 2;
    const long droppedBefore = terrainView.listsDropped;
    for (int step = 0; step < 60; ++step) {
        const View along = {{-6000.0f + 200.0f * step, 600, -6000.0f + 200.0f * step},
                            {-5000.0f + 200.0f * step, 300, -5000.0f + 200.0f * step},
                            "flight"};
        Draw(along);
        long extra = 0;
        for (int i = 0; i < terrainChunks.count; ++i) {
            const TerrainChunk *chunk = &terrainChunks.chunks[i];
            if (chunk->list != 0 && chunk->level != terrainChunks.baseLevel &&
                chunk->lastDrawn != terrainView.frame) {
                extra += chunk->vertices;
            }
        }
        EXPECT_TRUE(terrainView.listVertices <= terrainView.listVertexBudget || extra == 0)
            << step << ": " << terrainView.listVertices;
    }
    EXPECT_GT(terrainView.listsDropped, droppedBefore);
}

} // namespace
