// Tests for the sky image generator.
#include "datagen/skygen_lib.h"

#include <gtest/gtest.h>
#include <cstdlib>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const unsigned char Guard = 0x5A;

// Makes an image into a buffer with guard bytes after it; checks the call
// succeeded and wrote nothing past the image.
std::vector<unsigned char> Side(int w, int h, unsigned seed) {
    size_t n = static_cast<size_t>(w) * h * 3;
    std::vector<unsigned char> buf(n + 64, Guard);
    EXPECT_EQ(0, MakeSkySide(w, h, seed, buf.data()));
    for (size_t i = n; i < buf.size(); ++i) {
        EXPECT_EQ(Guard, buf[i]) << "wrote past at " << i;
    }
    buf.resize(n);
    return buf;
}

std::vector<unsigned char> Top(int side, unsigned seed) {
    size_t n = static_cast<size_t>(side) * side * 3;
    std::vector<unsigned char> buf(n + 64, Guard);
    EXPECT_EQ(0, MakeSkyTop(side, seed, buf.data()));
    for (size_t i = n; i < buf.size(); ++i) {
        EXPECT_EQ(Guard, buf[i]) << "wrote past at " << i;
    }
    buf.resize(n);
    return buf;
}

const unsigned char *Pixel(const std::vector<unsigned char> &img, int w, int col, int row) {
    return &img[(static_cast<size_t>(row) * w + col) * 3];
}

// Mean over all rows and channels of |a - b| between two columns.
double ColumnDifference(const std::vector<unsigned char> &img, int w, int h, int a, int b) {
    double sum = 0.0;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < 3; ++c) {
            sum += abs(Pixel(img, w, a, r)[c] - Pixel(img, w, b, r)[c]);
        }
    }
    return sum / (3.0 * h);
}

// Mean of channel c (0 R, 1 G, 2 B) over rows [r0, r1).
double RowsMean(const std::vector<unsigned char> &img, int w, int r0, int r1, int c) {
    double sum = 0.0;
    for (int r = r0; r < r1; ++r) {
        for (int col = 0; col < w; ++col) {
            sum += Pixel(img, w, col, r)[c];
        }
    }
    return sum / (static_cast<double>(r1 - r0) * w);
}

TEST(SkyGen, RefusesBadArguments) {
    unsigned char px[3 * 4] = {};
    EXPECT_EQ(-1, MakeSkySide(0, 2, 1, px));
    EXPECT_EQ(-1, MakeSkySide(2, 0, 1, px));
    EXPECT_EQ(-1, MakeSkySide(SkyMaxSide + 1, 1, 1, px));
    EXPECT_EQ(-1, MakeSkySide(2, 2, 1, nullptr));
    EXPECT_EQ(-1, MakeSkyTop(0, 1, px));
    EXPECT_EQ(-1, MakeSkyTop(SkyMaxSide + 1, 1, px));
    EXPECT_EQ(-1, MakeSkyTop(2, 1, nullptr));
}

TEST(SkyGen, SameSeedSameImagesOtherSeedOtherClouds) {
    std::vector<unsigned char> a = Side(SkySideWidth, SkySideHeight, 1);
    EXPECT_EQ(a, Side(SkySideWidth, SkySideHeight, 1));
    EXPECT_NE(a, Side(SkySideWidth, SkySideHeight, 2));
    std::vector<unsigned char> t = Top(SkyTopSide, 1);
    EXPECT_EQ(t, Top(SkyTopSide, 1));
    EXPECT_NE(t, Top(SkyTopSide, 2));
}

TEST(SkyGen, TinyImagesAreMade) {
    Side(1, 1, 7);
    Side(3, 2, 7);
    Top(1, 7);
    Top(5, 7);
}

TEST(SkyGen, SideImageJoinsItsOwnEdgesWithoutASeam) {
    for (unsigned seed : {1u, 2u, 99u}) {
        const int w = SkySideWidth, h = SkySideHeight;
        std::vector<unsigned char> img = Side(w, h, seed);
        std::vector<double> neighbours;
        for (int c = 0; c + 1 < w; ++c) {
            neighbours.push_back(ColumnDifference(img, w, h, c, c + 1));
        }
        double largest = *std::max_element(neighbours.begin(), neighbours.end());
        std::sort(neighbours.begin(), neighbours.end());
        double median = neighbours[neighbours.size() / 2];
        double seam = ColumnDifference(img, w, h, w - 1, 0);
        EXPECT_LE(seam, largest) << "seed " << seed;
        EXPECT_LE(seam, 3.0 * median + 0.5) << "seed " << seed;
        // The measure does see clouds: columns far apart differ far more.
        EXPECT_GT(ColumnDifference(img, w, h, 0, w / 2), 3.0 * median) << "seed " << seed;
    }
}

TEST(SkyGen, SideGlowsWhiteLowDownAndTurnsBlueAtTheTop) {
    const int w = SkySideWidth, h = SkySideHeight;
    std::vector<unsigned char> img = Side(w, h, 1);
    const int band = h / 8;
    // Row 0 is the lower edge of the wall.
    double lowR = RowsMean(img, w, 0, band, 0), lowB = RowsMean(img, w, 0, band, 2);
    double topR = RowsMean(img, w, h - band, h, 0), topB = RowsMean(img, w, h - band, h, 2);
    double lowBright = lowR + RowsMean(img, w, 0, band, 1) + lowB;
    double topBright = topR + RowsMean(img, w, h - band, h, 1) + topB;
    EXPECT_GT(lowBright, topBright + 150.0);
    EXPECT_GT(topB - topR, 80.0);                // clearly blue at the top
    EXPECT_LT(lowB - lowR, 0.5 * (topB - topR)); // far less so low down
    EXPECT_GT(lowR, 200.0);                      // pale haze near the ground

    // The glow: the rows at the horizon are the brightest of the clear sky.
    float glow[3], above[3], below[3];
    SkyGradientColour(SkyHorizon, glow);
    SkyGradientColour(SkyHorizon + 0.2f, above);
    SkyGradientColour(SkyHorizon - 0.2f, below);
    EXPECT_GT(glow[0] + glow[1] + glow[2], above[0] + above[1] + above[2]);
    EXPECT_GT(glow[0] + glow[1] + glow[2], below[0] + below[1] + below[2]);
}

TEST(SkyGen, GradientIsSmooth) {
    float prev[3];
    SkyGradientColour(0.0f, prev);
    for (int i = 1; i <= 1000; ++i) {
        float now[3];
        SkyGradientColour(static_cast<float>(i) / 1000.0f, now);
        for (int c = 0; c < 3; ++c) {
            EXPECT_GE(now[c], 0.0f);
            EXPECT_LE(now[c], 255.0f);
            EXPECT_LT(std::abs(now[c] - prev[c]), 1.5f) << "at v = " << i / 1000.0;
            prev[c] = now[c];
        }
    }
}

TEST(SkyGen, SideHasCloudsAboveTheHorizonOnly) {
    const int w = SkySideWidth, h = SkySideHeight;
    std::vector<unsigned char> img = Side(w, h, 1);
    int cloudy = 0, cloudyBelow = 0;
    for (int r = 0; r < h; ++r) {
        float sky[3];
        SkyGradientColour((static_cast<float>(r) + 0.5f) / static_cast<float>(h), sky);
        for (int c = 0; c < w; ++c) {
            const unsigned char *p = Pixel(img, w, c, r);
            bool whiter = p[0] > sky[0] + 40.0f;
            if (whiter && r >= h / 2) {
                ++cloudy;
            }
            if (whiter && r < h / 2) {
                ++cloudyBelow;
            }
        }
    }
    EXPECT_GT(cloudy, w * h / 50);
    EXPECT_EQ(cloudyBelow, 0);
}

TEST(SkyGen, TopBorderMatchesTheSideTopAndItsMiddleIsDeeperBlue) {
    const int w = SkySideWidth, h = SkySideHeight, s = SkyTopSide;
    std::vector<unsigned char> side = Side(w, h, 1);
    std::vector<unsigned char> top = Top(s, 1);
    double border[3] = {0, 0, 0};
    int n = 0;
    for (int i = 0; i < s; ++i) {
        const unsigned char *edge[4] = {Pixel(top, s, i, 0), Pixel(top, s, i, s - 1),
                                        Pixel(top, s, 0, i), Pixel(top, s, s - 1, i)};
        for (const unsigned char *p : edge) {
            for (int c = 0; c < 3; ++c) {
                border[c] += p[c];
            }
            ++n;
        }
    }
    for (int c = 0; c < 3; ++c) {
        double sideTop = RowsMean(side, w, h - 1, h, c);
        EXPECT_NEAR(border[c] / n, sideTop, 6.0) << "channel " << c;
    }
    // Every border pixel, not just the mean, is close to the wall's top.
    for (int i = 0; i < s; ++i) {
        const unsigned char *p = Pixel(top, s, i, 0);
        const unsigned char *q = Pixel(side, w, (i * w) / s, h - 1);
        for (int c = 0; c < 3; ++c) {
            EXPECT_LE(abs(p[c] - q[c]), 12) << "column " << i;
        }
    }
    // Straight up the sky is a deeper blue than at the border.
    const unsigned char *mid = Pixel(top, s, s / 2, s / 2);
    float edge[3];
    SkyGradientColour(1.0f, edge);
    double midBright = 0.0, edgeBright = 0.0;
    int clear = 0;
    for (int dr = -40; dr <= 40; ++dr) {
        for (int dc = -40; dc <= 40; ++dc) {
            const unsigned char *p = Pixel(top, s, s / 2 + dc, s / 2 + dr);
            if (p[2] > p[0] + 60) { // clear sky, not cloud
                midBright += p[0] + p[1] + p[2];
                ++clear;
            }
        }
    }
    ASSERT_GT(clear, 100) << "the middle of the lid is all cloud; pixel "
                          << static_cast<int>(mid[0]);
    edgeBright = edge[0] + edge[1] + edge[2];
    EXPECT_LT(midBright / clear, edgeBright - 40.0);
}

TEST(SkyGen, TopHasSoftClouds) {
    const int s = SkyTopSide;
    std::vector<unsigned char> top = Top(s, 1);
    int white = 0, halfway = 0;
    for (int r = 0; r < s; ++r) {
        for (int c = 0; c < s; ++c) {
            const unsigned char *p = Pixel(top, s, c, r);
            int spread = p[2] - p[0]; // blue sky: large; white cloud: small
            if (spread < 25) {
                ++white;
            }
            if (spread >= 40 && spread < 80) {
                ++halfway;
            }
        }
    }
    EXPECT_GT(white, s * s / 80);    // clouds
    EXPECT_GT(halfway, s * s / 200); // with soft, partly clear edges
    EXPECT_LT(white, s * s / 2);     // but mostly sky
}

} // namespace
