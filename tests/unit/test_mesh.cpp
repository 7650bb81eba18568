// Normals of the terrain mesh, on height maps made in memory.
#include "tests/support/test_files.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"
#include "datagen/heightgen.h"
#include "tests/support/map_fixture.h"

#include <SDL/SDL.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

class TerrainMeshTest : public TerrainMapTest {
  protected:
    using TerrainMapTest::UseMap;
    void UseMap(int size, const std::vector<unsigned char> &heights) {
        UseMap(size, [&](int c, int r) { return heights[static_cast<size_t>(r) * size + c]; });
    }
};

Vec3f Normal(int c, int r) {
    Vec3f n;
    GetVertexNormal(static_cast<uint16_t>(c), static_cast<uint16_t>(r), &n);
    return n;
}

uint32_t Bits(float f) {
    uint32_t b;
    memcpy(&b, &f, sizeof b);
    return b;
}

bool SameBits(const Vec3f &a, const Vec3f &b) {
    return Bits(a.x) == Bits(b.x) && Bits(a.y) == Bits(b.y) && Bits(a.z) == Bits(b.z);
}

std::string Show(const Vec3f &v) {
    char text[96];
    snprintf(text, sizeof text, "(%.9g, %.9g, %.9g)", v.x, v.y, v.z);
    return text;
}

// The mean of the four unit face normals around an interior point, worked
// out in double precision from the map's float grid positions. Returns the length
// of their sum (4 on flat ground, smaller where the faces disagree, which is
// where float rounding weighs more).
double ExactNormal(int c, int r, double out[3]) {
    // Grid positions are 32-bit floats; everything after them is exact here.
    auto pos = [](int i, int j, double p[3]) {
        p[0] = static_cast<float>(i * heightMap.cellSize);
        p[1] = static_cast<float>(GroundHeight(static_cast<uint16_t>(i), static_cast<uint16_t>(j)));
        p[2] = static_cast<float>(j * heightMap.cellSize);
    };
    double p0[3], ps[3], pn[3], pe[3], pw[3];
    pos(c, r, p0);
    pos(c, r + 1, ps);
    pos(c, r - 1, pn);
    pos(c + 1, r, pe);
    pos(c - 1, r, pw);
    double s[3], n[3], e[3], w[3];
    for (int k = 0; k < 3; ++k) {
        s[k] = ps[k] - p0[k];
        n[k] = pn[k] - p0[k];
        e[k] = pe[k] - p0[k];
        w[k] = pw[k] - p0[k];
    }
    auto unitCross = [](const double a[3], const double b[3], double o[3]) {
        o[0] = a[1] * b[2] - a[2] * b[1];
        o[1] = a[2] * b[0] - a[0] * b[2];
        o[2] = a[0] * b[1] - a[1] * b[0];
        double l = std::sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]);
        for (int k = 0; k < 3; ++k) {
            o[k] /= l;
        }
    };
    double f[4][3];
    unitCross(n, e, f[0]);
    unitCross(e, s, f[1]);
    unitCross(w, n, f[2]);
    unitCross(s, w, f[3]);
    double m[3] = {0, 0, 0};
    for (auto &face : f) {
        for (int k = 0; k < 3; ++k) {
            m[k] += face[k];
        }
    }
    double l = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    double sign = m[1] < 0 ? -1.0 : 1.0;
    for (int k = 0; k < 3; ++k) {
        out[k] = sign * m[k] / l;
    }
    return l;
}

std::vector<unsigned char> RandomHeights(int size, unsigned seed) {
    std::vector<unsigned char> h(static_cast<size_t>(size) * size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto &v : h) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<unsigned char>(x >> 24);
    }
    return h;
}

std::vector<unsigned char> GeneratedHeights(int size) {
    std::vector<unsigned char> h(static_cast<size_t>(size) * size);
    EXPECT_EQ(GenerateHeightMap(size, 1, 1, h.data()), 0);
    return h;
}

TEST_F(TerrainMeshTest, FlatMapsFaceStraightUpEverywhere) {
    for (int size : {3, 4, 7, 16, 37}) {
        UseMap(size, [](int, int) { return 93; });
        BuildTerrainMesh();
        for (int r = 0; r < size; ++r) {
            for (int c = 0; c < size; ++c) {
                Vec3f n = Normal(c, r);
                EXPECT_EQ(n.x, 0.0f) << size << ": " << c << "," << r;
                EXPECT_FLOAT_EQ(n.y, 1.0f) << size << ": " << c << "," << r;
                EXPECT_EQ(n.z, 0.0f) << size << ": " << c << "," << r;
            }
        }
    }
    EXPECT_EQ(CapturedLog(), "");
}

TEST_F(TerrainMeshTest, GroundRisingTowardsPlusXLeansTowardsMinusX) {
    UseMap(256, [](int c, int) { return static_cast<unsigned char>(c); });
    BuildTerrainMesh();
    for (int r = 0; r < 256; ++r) {
        for (int c = 0; c < 256; ++c) {
            Vec3f n = Normal(c, r);
            ASSERT_NEAR(n.x, -0.0734222f, 1e-6f) << c << "," << r;
            ASSERT_NEAR(n.y, 0.9973009f, 1e-6f) << c << "," << r;
            ASSERT_EQ(n.z, 0.0f) << c << "," << r;
        }
    }
}

TEST_F(TerrainMeshTest, GroundRisingTowardsPlusZLeansTowardsMinusZ) {
    UseMap(64, [](int, int r) { return static_cast<unsigned char>(r * 3); });
    BuildTerrainMesh();
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 64; ++c) {
            Vec3f n = Normal(c, r);
            ASSERT_EQ(n.x, 0.0f) << c << "," << r;
            ASSERT_LT(n.z, 0.0f) << c << "," << r;
            ASSERT_GT(n.y, 0.0f) << c << "," << r;
            ASSERT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-6f);
        }
    }
}

TEST_F(TerrainMeshTest, ThreeByThreeMapSpreadsItsCentreNormalToAllPoints) {
    const unsigned char heights[3][3] = {{10, 50, 20}, {0, 100, 30}, {5, 200, 60}};
    UseMap(3, [&](int c, int r) { return heights[r][c]; });
    BuildTerrainMesh();
    double exact[3];
    ExactNormal(1, 1, exact);
    Vec3f centre = Normal(1, 1);
    EXPECT_NEAR(centre.x, exact[0], 1e-6);
    EXPECT_NEAR(centre.y, exact[1], 1e-6);
    EXPECT_NEAR(centre.z, exact[2], 1e-6);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_TRUE(SameBits(Normal(c, r), centre))
                << c << "," << r << ": " << Show(Normal(c, r)) << " vs " << Show(centre);
        }
    }
}

TEST_F(TerrainMeshTest, MapsWithoutInteriorPointsGetUpNormals) {
    for (int size : {1, 2}) {
        UseMap(size, [](int c, int r) { return static_cast<unsigned char>(40 + 100 * c + 7 * r); });
        BuildTerrainMesh();
        ASSERT_NE(terrainMesh.normalX, nullptr);
        EXPECT_EQ(terrainMesh.size, size);
        for (int r = 0; r < size; ++r) {
            for (int c = 0; c < size; ++c) {
                Vec3f n = Normal(c, r);
                EXPECT_EQ(n.x, 0.0f);
                EXPECT_EQ(n.y, 1.0f);
                EXPECT_EQ(n.z, 0.0f);
            }
        }
    }
    EXPECT_EQ(CapturedLog(), "");
}

TEST_F(TerrainMeshTest, BordersAndCornersCopyTheirInnerNeighboursBitForBit) {
    for (int size : {4, 5, 37, 64}) {
        UseMap(size, RandomHeights(size, static_cast<unsigned>(size)));
        BuildTerrainMesh();
        const int last = size - 1;
        for (int k = 1; k <= size - 2; ++k) {
            EXPECT_TRUE(SameBits(Normal(k, 0), Normal(k, 1))) << size << ": row 0, column " << k;
            EXPECT_TRUE(SameBits(Normal(k, last), Normal(k, last - 1)))
                << size << ": last row, column " << k;
            EXPECT_TRUE(SameBits(Normal(0, k), Normal(1, k))) << size << ": column 0, row " << k;
            EXPECT_TRUE(SameBits(Normal(last, k), Normal(last - 1, k)))
                << size << ": last column, row " << k;
        }
        EXPECT_TRUE(SameBits(Normal(0, 0), Normal(1, 1))) << size;
        EXPECT_TRUE(SameBits(Normal(last, 0), Normal(last - 1, 1))) << size;
        EXPECT_TRUE(SameBits(Normal(0, last), Normal(1, last - 1))) << size;
        EXPECT_TRUE(SameBits(Normal(last, last), Normal(last - 1, last - 1))) << size;
    }
}

// The row walk of BuildTerrainMesh against the literal walk, column by column
// with ComputeVertexNormal, and both against the exact arithmetic. Sizes
// cover maps whose rows are padded and whose cell size is not exact.
TEST_F(TerrainMeshTest, RowWalkGivesTheNormalsOfThePointByPointWalk) {
    struct Case {
        int size;
        std::vector<unsigned char> heights;
    };
    const Case cases[] = {{256, GeneratedHeights(256)},
                          {257, GeneratedHeights(257)},
                          {333, RandomHeights(333, 5)},
                          {41, RandomHeights(41, 9)},
                          {6, RandomHeights(6, 2)}};
    for (const Case &test : cases) {
        const int size = test.size;
        UseMap(size, test.heights);
        BuildTerrainMesh();
        std::vector<Vec3f> walked(static_cast<size_t>(size) * size);
        for (int r = 0; r < size; ++r) {
            for (int c = 0; c < size; ++c) {
                walked[static_cast<size_t>(r) * size + c] = Normal(c, r);
            }
        }
        // Overwrite the interior so that a point ComputeVertexNormal skips shows.
        for (int r = 1; r <= size - 2; ++r) {
            for (int c = 1; c <= size - 2; ++c) {
                terrainMesh.normalX[r][c] = terrainMesh.normalY[r][c] = NAN;
                terrainMesh.normalZ[r][c] = NAN;
            }
        }
        for (int c = 1; c <= size - 2; ++c) {
            for (int r = 1; r <= size - 2; ++r) {
                ComputeVertexNormal(static_cast<uint16_t>(c), static_cast<uint16_t>(r));
            }
        }
        int mismatches = 0;
        double worst = 0; // error relative to what float rounding allows
        for (int r = 1; r <= size - 2; ++r) {
            for (int c = 1; c <= size - 2; ++c) {
                const Vec3f fast = walked[static_cast<size_t>(r) * size + c];
                const Vec3f literal = Normal(c, r);
                if (!SameBits(fast, literal) && mismatches++ < 5) {
                    ADD_FAILURE() << size << ": " << c << "," << r << " row walk " << Show(fast)
                                  << ", point by point " << Show(literal);
                }
                double exact[3];
                const double allowed = 1e-6 * 4.0 / ExactNormal(c, r, exact);
                worst = std::max({worst, std::fabs(literal.x - exact[0]) / allowed,
                                  std::fabs(literal.y - exact[1]) / allowed,
                                  std::fabs(literal.z - exact[2]) / allowed});
            }
        }
        EXPECT_EQ(mismatches, 0) << size;
        EXPECT_LT(worst, 1.0) << size;
    }
}

TEST_F(TerrainMeshTest, FreeingReleasesEveryPlaneAndRebuildingStartsOver) {
    UseMap(16, RandomHeights(16, 3));
    BuildTerrainMesh();
    ASSERT_NE(terrainMesh.normalX, nullptr);
    Vec3f before = Normal(7, 9);
    BuildTerrainMesh(); // replaces the mesh without leaking the first one
    EXPECT_TRUE(SameBits(Normal(7, 9), before));
    FreeTerrainMesh();
    EXPECT_EQ(terrainMesh.normalX, nullptr);
    EXPECT_EQ(terrainMesh.normalY, nullptr);
    EXPECT_EQ(terrainMesh.normalZ, nullptr);
    FreeTerrainMesh(); // a second release does nothing
    EXPECT_EQ(CapturedLog(), "");
}

TEST_F(TerrainMeshTest, WithoutAHeightMapNothingIsBuilt) {
    ASSERT_EQ(heightMap.image, nullptr);
    heightMap = HeightMap{};
    BuildTerrainMesh();
    EXPECT_EQ(terrainMesh.normalX, nullptr);
    EXPECT_NE(CapturedLog().find("ERROR: "), std::string::npos);
}

} // namespace
