// Tests for the height-map generator.
#include "app/world.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>

#include <algorithm>
#include <climits>
#include <vector>

#include "datagen/heightgen.h"

namespace {

const unsigned char Guard = 0xA5;

// Generates a map into a buffer with guard bytes after it; checks the
// call succeeded and the guards are intact.
std::vector<unsigned char> Generate(int side, unsigned seed, int startView) {
    size_t n = static_cast<size_t>(side) * static_cast<size_t>(side);
    std::vector<unsigned char> buf(n + 16, Guard);
    EXPECT_EQ(0, GenerateHeightMap(side, seed, startView, buf.data()));
    for (size_t i = n; i < buf.size(); ++i) {
        EXPECT_EQ(Guard, buf[i]) << "wrote past the map at " << i;
    }
    buf.resize(n);
    return buf;
}

uint64_t Fnv1a(const std::vector<unsigned char> &bytes) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char b : bytes) {
        h ^= b;
        h *= 1099511628211ULL;
    }
    return h;
}

// World height of the ground at pixel height h, and the opening camera's
// eye height over a map whose pixel at column 0, row 20 has height h0.
double GroundWorld(int h) {
    return h * static_cast<double>(HeightStep) - HalfHeight;
}
double EyeWorld(int h0) {
    return h0 * static_cast<double>(HeightStep) + 10.0;
}

TEST(HeightGen, SameSeedGivesSameBytes) {
    for (int startView = 0; startView <= 1; ++startView) {
        std::vector<unsigned char> a = Generate(200, 77, startView);
        std::vector<unsigned char> b = Generate(200, 77, startView);
        EXPECT_TRUE(a == b) << "startView " << startView;
    }
}

// A fixed map must come out the same on every machine and build; if the
// generator is changed on purpose, update the value.
TEST(HeightGen, KnownOutput) {
    EXPECT_EQ(0x77e499c613a698ccULL, Fnv1a(Generate(128, 1, 1)));
}

TEST(HeightGen, DifferentSeedsGiveDifferentMaps) {
    std::vector<unsigned char> a = Generate(256, 1, 0);
    std::vector<unsigned char> b = Generate(256, 2, 0);
    size_t differ = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        differ += a[i] != b[i];
    }
    EXPECT_GT(differ, a.size() / 2);
}

TEST(HeightGen, RejectsBadArguments) {
    unsigned char buf[16];
    for (int side : {0, -1, -4096, HeightMapMaxSide + 1, INT_MAX, INT_MIN}) {
        std::fill(buf, buf + sizeof buf, Guard);
        EXPECT_EQ(-1, GenerateHeightMap(side, 1, 0, buf)) << "side " << side;
        EXPECT_EQ(-1, GenerateHeightMap(side, 1, 1, buf)) << "side " << side;
        for (unsigned char c : buf) {
            EXPECT_EQ(Guard, c);
        }
    }
    EXPECT_EQ(-1, GenerateHeightMap(64, 1, 0, nullptr));
    EXPECT_EQ(-1, GenerateHeightMap(1, 1, 1, nullptr));
}

TEST(HeightGen, TinySides) {
    for (int side = 1; side <= 3; ++side) {
        for (int startView = 0; startView <= 1; ++startView) {
            std::vector<unsigned char> m = Generate(side, 5, startView);
            EXPECT_EQ((size_t)(side * side), m.size());
        }
    }
    // A one-pixel map is the map centre: on a start-view map, the valley.
    std::vector<unsigned char> one = Generate(1, 5, 1);
    EXPECT_GE(one[0], 10);
    EXPECT_LE(one[0], 60);
}

TEST(HeightGen, LargestSide) {
    const int side = HeightMapMaxSide;
    std::vector<unsigned char> m = Generate(side, 3, 1);
    ASSERT_EQ((size_t)side * side, m.size());
    auto mm = std::minmax_element(m.begin(), m.end());
    EXPECT_LT(*mm.first, 40);
    EXPECT_GT(*mm.second, 215);
}

TEST(HeightGen, UsesWideRange) {
    for (unsigned seed : {1u, 2u, 3u}) {
        for (int startView = 0; startView <= 1; ++startView) {
            std::vector<unsigned char> m = Generate(512, seed, startView);
            auto mm = std::minmax_element(m.begin(), m.end());
            EXPECT_LT(*mm.first, 40) << "seed " << seed << " startView " << startView;
            EXPECT_GT(*mm.second, 215) << "seed " << seed << " startView " << startView;
            // Not a few spikes on a flat sheet: a good share of the map is
            // well above and well below the middle.
            size_t low = 0, high = 0;
            for (unsigned char h : m) {
                low += h < 64;
                high += h > 150;
            }
            EXPECT_GT(low, m.size() / 20);
            EXPECT_GT(high, m.size() / 20);
        }
    }
}

// The same seed shows the same landscape at every side: a 1024 map
// averaged down to 256 matches the 256 map closely.
TEST(HeightGen, SameLandscapeAtEverySide) {
    std::vector<unsigned char> small = Generate(256, 11, 1);
    std::vector<unsigned char> large = Generate(1024, 11, 1);
    double total = 0.0;
    for (int r = 0; r < 256; ++r) {
        for (int c = 0; c < 256; ++c) {
            int sum = 0;
            for (int i = 0; i < 4; ++i) {
                for (int j = 0; j < 4; ++j) {
                    sum += large[static_cast<size_t>(r * 4 + i) * 1024 +
                                 static_cast<size_t>(c * 4 + j)];
                }
            }
            total += std::abs(sum / 16.0 - small[static_cast<size_t>(r) * 256 + c]);
        }
    }
    EXPECT_LT(total / (256.0 * 256.0), 2.0);
}

struct HeightGenStartView : ::testing::TestWithParam<int> {};

TEST_P(HeightGenStartView, CameraSeesValleyAndMountains) {
    const int side = GetParam();
    for (unsigned seed : {1u, 2u, 3u, 1234567u}) {
        SCOPED_TRACE(::testing::Message() << "side " << side << " seed " << seed);
        std::vector<unsigned char> m = Generate(side, seed, 1);
        auto at = [&](int col, int row) {
            return static_cast<int>(m[static_cast<size_t>(row) * side + col]);
        };

        // Where the eye height is taken from: moderate, and not a spike.
        const int h0 = at(0, 20);
        EXPECT_GE(h0, 50);
        EXPECT_LE(h0, 80);
        int neighbours = 0;
        for (int row = 19; row <= 21; ++row) {
            for (int col = 0; col <= 1; ++col) {
                if (row != 20 || col != 0) {
                    neighbours += at(col, row);
                }
            }
        }
        EXPECT_LE(std::abs(neighbours - 5 * h0), 5 * 4);
        const double eye = EyeWorld(h0);
        EXPECT_NEAR(eye,
                    GroundWorld(0) + HeightMapStartEyeLevel(h0) * static_cast<double>(HeightStep),
                    1e-3);

        // Under the camera and ahead of it, a valley floor well below the eye.
        for (int row = side / 2; row <= side * 6 / 10; ++row) {
            for (int col = side * 45 / 100; col <= side * 55 / 100; ++col) {
                int h = at(col, row);
                ASSERT_GE(h, 10) << "col " << col << " row " << row;
                ASSERT_LE(h, 60) << "col " << col << " row " << row;
                ASSERT_LT(GroundWorld(h), eye - 300.0);
            }
        }

        // Further ahead, on both sides of the line of sight, the ground
        // rises to mountains above the eye.
        int leftMax = 0, rightMax = 0;
        for (int row = side * 65 / 100; row <= side * 85 / 100; ++row) {
            for (int col = side * 20 / 100; col <= side * 80 / 100; ++col) {
                int &best = col < side / 2 ? leftMax : rightMax;
                best = std::max(best, at(col, row));
            }
        }
        EXPECT_GE(leftMax, 180);
        EXPECT_GE(rightMax, 180);
        EXPECT_GT(GroundWorld(std::max(leftMax, rightMax)), eye);

        // The shaping blends in: no cliffs far steeper than the terrain's own.
        int steepest = 0;
        for (int row = 0; row + 1 < side; ++row) {
            for (int col = 0; col + 1 < side; ++col) {
                steepest = std::max(steepest, std::abs(at(col + 1, row) - at(col, row)));
                steepest = std::max(steepest, std::abs(at(col, row + 1) - at(col, row)));
            }
        }
        EXPECT_LE(steepest, 64 * 256 / side + 8);
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, HeightGenStartView, ::testing::Values(256, 512, 1024));

} // namespace
