// The grass texture: seamless, green, with structure, always the same.
#include "datagen/bmpfile.h"
#include "datagen/grassgen_lib.h"
#include "tests/support/test_files.h"

#include <SDL/SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<unsigned char> Grass(int side, unsigned seed) {
    std::vector<unsigned char> rgb(static_cast<size_t>(side) * side * 3);
    EXPECT_EQ(MakeGrassTexture(side, seed, rgb.data()), 0);
    return rgb;
}

// Mean absolute difference, over all channels, between column x and the next
// one (column 0 after the last), or between row y and the next one.
double ColumnStep(const std::vector<unsigned char> &rgb, int side, int x) {
    const int next = (x + 1) % side;
    long sum = 0;
    for (int y = 0; y < side; ++y) {
        for (int k = 0; k < 3; ++k) {
            sum += std::abs(rgb[(static_cast<size_t>(y) * side + x) * 3 + k] -
                            rgb[(static_cast<size_t>(y) * side + next) * 3 + k]);
        }
    }
    return static_cast<double>(sum) / (3.0 * side);
}

double RowStep(const std::vector<unsigned char> &rgb, int side, int y) {
    const int next = (y + 1) % side;
    long sum = 0;
    for (int x = 0; x < side; ++x) {
        for (int k = 0; k < 3; ++k) {
            sum += std::abs(rgb[(static_cast<size_t>(y) * side + x) * 3 + k] -
                            rgb[(static_cast<size_t>(next) * side + x) * 3 + k]);
        }
    }
    return static_cast<double>(sum) / (3.0 * side);
}

using StepFunction = double (*)(const std::vector<unsigned char> &, int, int);

// Whether the step from the last column (row) to the first stands out from
// the steps between neighbouring columns (rows) inside the image: more than
// four standard deviations from their mean.
bool HasSeam(const std::vector<unsigned char> &rgb, int side, StepFunction step, double *seam,
             double *mean, double *deviation) {
    double sum = 0, squares = 0;
    for (int i = 0; i + 1 < side; ++i) {
        const double d = step(rgb, side, i);
        sum += d;
        squares += d * d;
    }
    *mean = sum / (side - 1);
    *deviation = std::sqrt(squares / (side - 1) - *mean * *mean);
    *seam = step(rgb, side, side - 1);
    return std::fabs(*seam - *mean) > 4 * *deviation;
}

// The step across the wrap-around edge must look like the steps between
// neighbouring interior columns and rows.
TEST(GrassTextureTest, WrapAroundEdgesLookLikeTheInterior) {
    const int side = GrassSide;
    for (unsigned seed : {1u, 2u, 77u}) {
        std::vector<unsigned char> rgb = Grass(side, seed);
        for (StepFunction step : {ColumnStep, RowStep}) {
            double seam, mean, deviation;
            EXPECT_FALSE(HasSeam(rgb, side, step, &seam, &mean, &deviation))
                << "seed " << seed << ": seam step " << seam << ", interior " << mean << " +- "
                << deviation;
            EXPECT_GT(mean, 3.0) << "seed " << seed << ": too smooth to be grass";
        }
    }
    // The measure finds a real seam: two textures side by side, the left
    // half of one and the right half of another, meet at the edge.
    std::vector<unsigned char> a = Grass(side, 1), b = Grass(side, 2), joined = a;
    for (int y = 0; y < side; ++y) {
        for (int x = side / 2; x < side; ++x) {
            for (int k = 0; k < 3; ++k) {
                const size_t i = (static_cast<size_t>(y) * side + x) * 3 + k;
                joined[i] = b[i];
            }
        }
    }
    double seam, mean, deviation;
    EXPECT_TRUE(HasSeam(joined, side, ColumnStep, &seam, &mean, &deviation))
        << "seam step " << seam << ", interior " << mean << " +- " << deviation;
}

TEST(GrassTextureTest, IsGreenGrassWithLighterAndDarkerPatches) {
    const int side = GrassSide;
    std::vector<unsigned char> rgb = Grass(side, 1);
    double mean[3] = {0, 0, 0};
    for (size_t i = 0; i < rgb.size(); i += 3) {
        for (int k = 0; k < 3; ++k) {
            mean[k] += rgb[i + k];
        }
    }
    for (double &m : mean) {
        m /= side * side;
    }
    // Green leads, red above blue: a yellowish green, not a purple or blue one.
    EXPECT_GT(mean[1], mean[0] * 1.3);
    EXPECT_GT(mean[0], mean[2]);
    EXPECT_GT(mean[1], 60.0);
    EXPECT_LT(mean[1], 200.0);
    // Brightness of 16 x 16 blocks varies: not flat noise.
    double darkest = 1e9, lightest = 0;
    for (int by = 0; by < side; by += 16) {
        for (int bx = 0; bx < side; bx += 16) {
            double g = 0;
            for (int y = by; y < by + 16; ++y) {
                for (int x = bx; x < bx + 16; ++x) {
                    g += rgb[(static_cast<size_t>(y) * side + x) * 3 + 1];
                }
            }
            darkest = std::min(darkest, g / 256);
            lightest = std::max(lightest, g / 256);
        }
    }
    EXPECT_GT(lightest - darkest, 8.0);
}

TEST(GrassTextureTest, SameSeedSameTextureOtherSeedOtherTexture) {
    EXPECT_EQ(Grass(64, 5), Grass(64, 5));
    EXPECT_NE(Grass(64, 5), Grass(64, 6));
    std::vector<unsigned char> rgb(size_t{16} * 16 * 3);
    EXPECT_EQ(MakeGrassTexture(GrassMinSide - 1, 1, rgb.data()), -1);
    EXPECT_EQ(MakeGrassTexture(GrassMaxSide + 1, 1, rgb.data()), -1);
    EXPECT_EQ(MakeGrassTexture(16, 1, nullptr), -1);
}

// The file decodes to the bytes GL is given, green in the second byte.
TEST(GrassTextureTest, FileDecodesToTheTextureBytes) {
    const int side = GrassSide;
    std::vector<unsigned char> rgb = Grass(side, 1);
    std::string dir = MakeScratchDir();
    ASSERT_FALSE(dir.empty());
    std::string path = dir + "/grass2.bmp";
    ASSERT_EQ(WriteBmp(path.c_str(), side, side, 3, rgb.data()), 0);
    SDL_Surface *image = SDL_LoadBMP(path.c_str());
    ASSERT_NE(image, nullptr) << SDL_GetError();
    EXPECT_EQ(image->format->BytesPerPixel, 3);
    int differing = 0;
    for (int y = 0; y < side; ++y) {
        const Uint8 *row =
            static_cast<const Uint8 *>(image->pixels) + static_cast<ptrdiff_t>(y) * image->pitch;
        if (memcmp(row, &rgb[static_cast<size_t>(y) * side * 3], static_cast<size_t>(side) * 3) !=
            0) {
            ++differing;
        }
    }
    EXPECT_EQ(differing, 0);
    SDL_FreeSurface(image);
    remove(path.c_str());
    remove(dir.c_str());
}

} // namespace
