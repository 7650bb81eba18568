// The chunk tree, its errors and the view tests, on height maps made in
// memory: no GL.
#include "app/world.h"
#include "terrain/chunks.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"
#include "tests/support/map_fixture.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

class ChunkTest : public TerrainMapTest {
  protected:
    void TearDown() override {
        FreeTerrainChunks();
        TerrainMapTest::TearDown();
    }
};

TEST_F(ChunkTest, ChunksShareTheirEdgesAndEachLevelCoversTheMap) {
    // 29 cells: three leaves of 8 and one of 5 along each side.
    UseMap(30, [](int c, int r) { return (c * 7 + r * 3) % 200; });
    ASSERT_EQ(LayOutTerrainChunks(8), 0);
    ASSERT_EQ(terrainChunks.levels, 3);
    EXPECT_EQ(terrainChunks.side[0], 4);
    EXPECT_EQ(terrainChunks.side[1], 2);
    EXPECT_EQ(terrainChunks.side[2], 1);
    for (int level = 0; level < terrainChunks.levels; ++level) {
        int next = 0;
        for (int column = 0; column < terrainChunks.side[level]; ++column) {
            const TerrainChunk *chunk = ChunkAt(level, column, 0);
            EXPECT_EQ(chunk->column0, next) << level << "," << column;
            EXPECT_GT(chunk->column1, chunk->column0);
            next = chunk->column1;
            // Every level's own samples are every 2^level-th, plus the edge.
            int coords[MaxChunkCells + 1];
            const int n = LevelCoordinates(chunk->column0, chunk->column1, level, coords);
            EXPECT_EQ(coords[0], chunk->column0);
            EXPECT_EQ(coords[n - 1], chunk->column1);
            EXPECT_LE(n - 1, 8);
            for (int k = 1; k + 1 < n; ++k) {
                EXPECT_EQ(coords[k] - coords[k - 1], 1 << level);
            }
        }
        EXPECT_EQ(next, 29) << level;
    }
    EXPECT_EQ(ChunkAt(0, 4, 0), nullptr);
    EXPECT_EQ(ChunkAt(3, 0, 0), nullptr);
    // A parent's height range holds its children's.
    const TerrainChunk *top = ChunkAt(2, 0, 0);
    int low = 255, high = 0;
    for (int r = 0; r < 30; ++r) {
        for (int c = 0; c < 30; ++c) {
            low = std::min(low, static_cast<int>(GetLevel(c, r)));
            high = std::max(high, static_cast<int>(GetLevel(c, r)));
        }
    }
    EXPECT_EQ(top->lowLevel, low);
    EXPECT_EQ(top->highLevel, high);
}

TEST_F(ChunkTest, ErrorIsTheLargestGapToTheFullDetailSurface) {
    // A plane is drawn exactly at every level.
    UseMap(33, [](int c, int r) { return c * 3 + r * 2; });
    ASSERT_EQ(LayOutTerrainChunks(8), 0);
    for (int i = 0; i < terrainChunks.count; ++i) {
        MeasureChunkError(&terrainChunks.chunks[i]);
        EXPECT_EQ(terrainChunks.chunks[i].error, 0.0f) << i;
    }
    FreeTerrainChunks();
    ReleaseTestMap();

    // One spike at an odd point: every level above the leaves skips it, and
    // its error is the spike's height, rounded up, never down.
    UseMap(33, [](int c, int r) { return c == 5 && r == 9 ? 40 : 0; });
    ASSERT_EQ(LayOutTerrainChunks(8), 0);
    for (int level = 1; level < terrainChunks.levels; ++level) {
        TerrainChunk *holder = ChunkAt(level, 0, 0);
        MeasureChunkError(holder);
        EXPECT_GE(holder->error, 40 * HeightStep) << level;
        EXPECT_LE(holder->error, 40 * HeightStep * 1.0001f) << level;
        TerrainChunk *other = ChunkAt(level, terrainChunks.side[level] - 1, 0);
        if (other != holder) {
            MeasureChunkError(other);
            EXPECT_EQ(other->error, 0.0f) << level;
        }
    }
}

TEST_F(ChunkTest, OnlyLeavesAreFineEnoughAtAThresholdOfZero) {
    UseMap(65, [](int c, int r) { return (c * c + r) % 50; });
    ASSERT_EQ(LayOutTerrainChunks(8), 0);
    const double ppu = PixelsPerUnitAtUnitDistance(600, 45.0);
    TerrainChunk *leaf = ChunkAt(0, 1, 1);
    TerrainChunk *parent = ChunkAt(1, 0, 0);
    EXPECT_EQ(ChunkIsFineEnough(leaf, 0.0, ppu, 0.0), 1);
    EXPECT_EQ(ChunkIsFineEnough(parent, 1e9, ppu, 0.0), 0);
    // Far enough away, the parent's error covers less than a pixel.
    MeasureChunkError(parent);
    ASSERT_GT(parent->error, 0.0f);
    const double distance = parent->error * ppu; // one pixel exactly
    EXPECT_EQ(ChunkIsFineEnough(parent, distance * 1.01, ppu, 1.0), 1);
    EXPECT_EQ(ChunkIsFineEnough(parent, distance * 0.99, ppu, 1.0), 0);
    EXPECT_EQ(ChunkIsFineEnough(parent, distance * 0.99, ppu, 2.0), 1);
}

bool SameBits(float a, float b) {
    uint32_t x, y;
    memcpy(&x, &a, sizeof x);
    memcpy(&y, &b, sizeof y);
    return x == y;
}

TEST_F(ChunkTest, PerPointNormalsAreTheWholeMapNormalsBitForBit) {
    for (int size : {2, 3, 17, 40}) {
        UseMap(size, [](int c, int r) { return (c * 37 + r * r * 11) % 256; });
        BuildTerrainMesh();
        for (int r = 0; r < size; ++r) {
            for (int c = 0; c < size; ++c) {
                Vec3f whole, one;
                GetVertexNormal(c, r, &whole);
                TerrainNormal(c, r, &one);
                EXPECT_TRUE(SameBits(whole.x, one.x) && SameBits(whole.y, one.y) &&
                            SameBits(whole.z, one.z))
                    << size << ": " << c << "," << r;
            }
        }
        FreeTerrainMesh();
        ReleaseTestMap();
    }
}

// Whether the box from (x0, y0, z0) to (x1, y1, z1) meets the frustum.
int Meets(const Frustum &f, float x0, float y0, float z0, float x1, float y1, float z1) {
    const Box3 box = {{x0, y0, z0}, {x1, y1, z1}};
    return BoxMeetsFrustum(&box, &f);
}

TEST(ViewFrustum, KeepsWhatCanBeSeenAndDropsTheRest) {
    const double aspect = 800.0 / 600.0;
    // Looking along +z from 10 units up.
    const Vec3f eye = {0, 10, 0}, ahead = {0, 10, 1};
    Frustum f;
    MakeFrustum(&eye, &ahead, 45.0, aspect, 4.0, 5000.0, &f);
    EXPECT_EQ(Meets(f, -10, 0, 100, 10, 20, 120), 1);
    EXPECT_EQ(Meets(f, -10, 0, -120, 10, 20, -100), 0);
    // The half-width at 1000 units is 1000 * tan(22.5) * aspect = 552.3.
    EXPECT_EQ(Meets(f, 552.0f, -500, 990, 600, 800, 1000), 1);
    EXPECT_EQ(Meets(f, 560.0f, -500, 990, 600, 800, 1000), 0);
    // Only its top can be seen: the bottom plane passes above the rest.
    EXPECT_EQ(Meets(f, -10, -2000, 990, 10, -400, 1000), 1);
    EXPECT_EQ(Meets(f, -10, -2000, 990, 10, -430, 1000), 0);
    // The far plane.
    EXPECT_EQ(Meets(f, -10, 0, 4990, 10, 20, 5100), 1);
    EXPECT_EQ(Meets(f, -10, 0, 5010, 10, 20, 5100), 0);

    // Pitched down by 60 degrees from 100 units up, the ground just behind
    // the eye's foot is in the picture.
    const float down = static_cast<float>(60.0 * M_PI / 180.0);
    const Vec3f high = {0, 100, 0};
    const Vec3f steep = {0, 100 - std::sin(down), std::cos(down)};
    MakeFrustum(&high, &steep, 45.0, aspect, 4.0, 5000.0, &f);
    // The lower edge of the picture points 82.5 degrees down: it meets the
    // ground 100 / tan(82.5) = 13.2 units ahead of the foot, so ground from
    // there on is seen; a strip behind the foot is not.
    EXPECT_EQ(Meets(f, -5, 0, 12, 5, 1, 14), 1);
    EXPECT_EQ(Meets(f, -5, 0, -20, 5, 1, -2), 0);
    // A chunk mostly behind the eye whose front end reaches into the view.
    EXPECT_EQ(Meets(f, -100, 0, -200, 100, 1, 20), 1);
    // Tilted further, past the vertical by a little, the foot's back is seen.
    const Vec3f over = {0, 100 - 1.0f, -0.2f};
    MakeFrustum(&high, &over, 45.0, aspect, 4.0, 5000.0, &f);
    EXPECT_EQ(Meets(f, -5, 0, -20, 5, 1, -2), 1);
}

TEST(ViewFrustum, DistanceIsToTheNearestPointOfTheBox) {
    const Box3 box = {{0, 0, 0}, {10, 10, 10}};
    const Vec3f inside = {5, 5, 5}, side = {13, 5, 5}, corner = {13, 14, 10};
    EXPECT_EQ(DistanceToBox(&inside, &box), 0.0);
    EXPECT_DOUBLE_EQ(DistanceToBox(&side, &box), 3.0);
    EXPECT_DOUBLE_EQ(DistanceToBox(&corner, &box), 5.0);
    EXPECT_NEAR(PixelsPerUnitAtUnitDistance(600, 45.0), 724.26, 0.01);
}

} // namespace
