// What the terrain display list is compiled from: positions, texture
// coordinates, colours and the layout of the strips.
#include "app/world.h"
#include "tests/support/test_files.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"
#include "render/texture.h"
#include "terrain/terrain_list.h"
#include "tests/support/map_fixture.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

using TerrainGeometryTest = TerrainMapTest;

// The vertex the list compiles for a grid point of the loaded map.
TerrainVertex VertexAt(uint16_t column, uint16_t row) {
    const Vec3f up = {0.0f, 1.0f, 0.0f};
    TerrainVertex v;
    MakeTerrainVertex(column, row, GetLevel(column, row), &up, &v);
    return v;
}

Vec3f PositionOf(uint16_t column, uint16_t row) {
    return VertexAt(column, row).position;
}

float GreenOf(uint16_t column, uint16_t row) {
    return VertexAt(column, row).green;
}

TEST_F(TerrainGeometryTest, TerrainIsCentredOnTheOrigin) {
    UseMap(256, [](int c, int r) { return c == 255 && r == 255 ? 255 : 0; });
    Vec3f first = PositionOf(0, 0);
    EXPECT_EQ(first.x, -WorldHalfExtent);
    EXPECT_EQ(first.y, -HalfHeight);
    EXPECT_EQ(first.z, -WorldHalfExtent);
    Vec3f last = PositionOf(255, 255);
    EXPECT_EQ(last.x, 7441.40625f);
    EXPECT_EQ(last.z, 7441.40625f);
    EXPECT_FLOAT_EQ(last.y, 255 * HeightStep - HalfHeight);
    EXPECT_GT(last.y, HalfHeight);
    Vec3f corner = PositionOf(255, 0);
    EXPECT_EQ(corner.x, 7441.40625f);
    EXPECT_EQ(corner.z, -WorldHalfExtent);
    Vec3f middle = PositionOf(128, 128);
    EXPECT_EQ(middle.x, 0.0f);
    EXPECT_EQ(middle.z, 0.0f);
}

TEST_F(TerrainGeometryTest, TextureRepeatsEverySixAndTwoThirdCells) {
    float s = -1, t = -1;
    TerrainTexCoord(20, 10, &s, &t);
    EXPECT_EQ(s, 3.0f);
    EXPECT_EQ(t, 1.5f);
    TerrainTexCoord(0, 0, &s, &t);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(t, 0.0f);
    // Worked out in double precision and rounded once.
    TerrainTexCoord(4095, 7, &s, &t);
    EXPECT_EQ(s, static_cast<float>(4095 * TexturePerCell));
    EXPECT_EQ(t, static_cast<float>(7 * TexturePerCell));
}

TEST_F(TerrainGeometryTest, VertexColourIsAGreenRampOfTheHeight) {
    UseMap(4, [](int c, int) { return c == 0 ? 0 : (c == 1 ? 255 : 51); });
    EXPECT_EQ(GreenOf(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(GreenOf(1, 0), 1.0f);
    EXPECT_FLOAT_EQ(GreenOf(2, 3), 0.2f);
}

TEST_F(TerrainGeometryTest, AVertexCarriesItsNormalColourAndPosition) {
    UseMap(8, [](int c, int) { return static_cast<unsigned char>(c * 20); });
    BuildTerrainMesh();
    TerrainVertex v;
    Vec3f normal;
    GetVertexNormal(3, 5, &normal);
    MakeTerrainVertex(3, 5, GetLevel(3, 5), &normal, &v);
    EXPECT_FLOAT_EQ(v.s, 0.45f);
    EXPECT_FLOAT_EQ(v.t, 0.75f);
    EXPECT_LT(v.normal.x, 0.0f); // ground rising towards +x leans back
    EXPECT_GT(v.normal.y, 0.0f);
    EXPECT_EQ(v.normal.z, 0.0f);
    EXPECT_FLOAT_EQ(v.green, 60.0f / 255.0f);
    EXPECT_FLOAT_EQ(v.position.x, 3 * 1875.0f - WorldHalfExtent);
    EXPECT_FLOAT_EQ(v.position.y, 60 * HeightStep - HalfHeight);
    EXPECT_FLOAT_EQ(v.position.z, 5 * 1875.0f - WorldHalfExtent);
}

TEST_F(TerrainGeometryTest, ThreeByThreeMapMakesTwoStripsOfSixVertices) {
    ASSERT_EQ(TerrainStripCount(3), 2);
    ASSERT_EQ(TerrainStripLength(3), 6);
    const uint16_t expected[2][6][2] = {{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}},
                                        {{1, 0}, {2, 0}, {1, 1}, {2, 1}, {1, 2}, {2, 2}}};
    for (int strip = 0; strip < 2; ++strip) {
        for (int i = 0; i < 6; ++i) {
            uint16_t c = 99, r = 99;
            TerrainStripPoint(strip, i, &c, &r);
            EXPECT_EQ(c, expected[strip][i][0]) << "strip " << strip << " vertex " << i;
            EXPECT_EQ(r, expected[strip][i][1]) << "strip " << strip << " vertex " << i;
        }
    }
    EXPECT_EQ(TerrainStripCount(1024), 1023);
    EXPECT_EQ(TerrainStripLength(1024), 2048);
    EXPECT_EQ(TerrainStripCount(1), 0);
}

// With clockwise front faces, every triangle of the strips must turn
// clockwise when seen from above, so that the ground is seen from above and
// culled from below.
TEST_F(TerrainGeometryTest, EveryTriangleIsClockwiseFromAbove) {
    UseMap(5, [](int c, int r) { return static_cast<unsigned char>((c * 53 + r * 97) % 256); });
    const int size = 5;
    int triangles = 0;
    for (int strip = 0; strip < TerrainStripCount(size); ++strip) {
        std::vector<Vec3f> v;
        for (int i = 0; i < TerrainStripLength(size); ++i) {
            uint16_t c, r;
            TerrainStripPoint(strip, i, &c, &r);
            v.push_back(PositionOf(c, r));
        }
        for (size_t i = 0; i + 2 < v.size(); ++i) {
            // GL swaps the first two vertices of every odd triangle of a strip.
            const Vec3f &a = i % 2 ? v[i + 1] : v[i];
            const Vec3f &b = i % 2 ? v[i] : v[i + 1];
            const Vec3f &c = v[i + 2];
            // y of (b - a) x (c - a): negative means clockwise seen from +y.
            float turn = (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z);
            EXPECT_LT(turn, 0.0f) << "strip " << strip << " triangle " << i;
            ++triangles;
        }
    }
    EXPECT_EQ(triangles, 2 * (size - 1) * (size - 1));
}

TEST_F(TerrainGeometryTest, OnlyThreeAndFourBytePixelsAreUploaded) {
    EXPECT_EQ(TextureFormatFor(3), static_cast<unsigned>(GL_RGB));
    EXPECT_EQ(TextureFormatFor(4), static_cast<unsigned>(GL_RGBA));
    for (int bytes : {0, 1, 2, 5}) {
        EXPECT_EQ(TextureFormatFor(bytes), 0u) << bytes;
    }
}

} // namespace
