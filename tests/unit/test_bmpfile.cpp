// BMP files decode into exactly the bytes their writer was given.
#include "tests/support/test_files.h"
#include "datagen/bmpfile.h"

#include <SDL/SDL_image.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<unsigned char> Pattern(int w, int h, int bpp) {
    std::vector<unsigned char> p(static_cast<size_t>(w) * h * bpp);
    for (size_t i = 0; i < p.size(); ++i) {
        p[i] = static_cast<unsigned char>((i * 37 + i / 7) & 0xFF);
    }
    return p;
}

void ExpectDecodesTo(int w, int h, int bpp) {
    std::string dir = MakeScratchDir();
    std::string path = dir + "/t.bmp";
    std::vector<unsigned char> pixels = Pattern(w, h, bpp);
    ASSERT_EQ(WriteBmp(path.c_str(), w, h, bpp, pixels.data()), 0);
    SDL_Surface *s = IMG_Load(path.c_str());
    ASSERT_NE(s, nullptr) << SDL_GetError();
    EXPECT_EQ(s->w, w);
    EXPECT_EQ(s->h, h);
    EXPECT_EQ(s->format->BytesPerPixel, bpp);
    for (int r = 0; r < h; ++r) {
        const unsigned char *row =
            static_cast<unsigned char *>(s->pixels) + static_cast<ptrdiff_t>(r) * s->pitch;
        ASSERT_EQ(0, memcmp(row, &pixels[static_cast<size_t>(r) * w * bpp], size_t(w) * bpp))
            << w << "x" << h << "x" << bpp << " row " << r;
    }
    SDL_FreeSurface(s);
    remove(path.c_str());
    rmdir(dir.c_str());
}

TEST(BmpFile, DecodesToTheGivenRowsAndBytes) {
    ExpectDecodesTo(4, 3, 3);
    ExpectDecodesTo(5, 7, 3); // rows padded to 4 bytes in the file
    ExpectDecodesTo(6, 2, 4);
    ExpectDecodesTo(1, 1, 3);
    ExpectDecodesTo(5, 3, 1); // grey: palette indices are the levels
}

TEST(BmpFile, GreyMapsCarryTheGreyRamp) {
    std::string dir = MakeScratchDir();
    std::string path = dir + "/g.bmp";
    const unsigned char levels[2] = {0, 255};
    ASSERT_EQ(WriteBmp(path.c_str(), 2, 1, 1, levels), 0);
    SDL_Surface *s = IMG_Load(path.c_str());
    ASSERT_NE(s, nullptr) << SDL_GetError();
    ASSERT_NE(s->format->palette, nullptr);
    ASSERT_EQ(s->format->palette->ncolors, 256);
    for (int i = 0; i < 256; ++i) {
        const SDL_Color c = s->format->palette->colors[i];
        ASSERT_TRUE(c.r == i && c.g == i && c.b == i) << "entry " << i;
    }
    SDL_FreeSurface(s);
    remove(path.c_str());
    rmdir(dir.c_str());
}

TEST(BmpFile, RefusesBadArguments) {
    unsigned char px[12] = {};
    EXPECT_EQ(WriteBmp("/tmp/x.bmp", 0, 1, 3, px), -1);
    EXPECT_EQ(WriteBmp("/tmp/x.bmp", 1, 1, 2, px), -1);
    EXPECT_EQ(WriteBmp("/tmp/x.bmp", 1, 1, 3, nullptr), -1);
    EXPECT_EQ(WriteBmp("/nonexistent-dir/x.bmp", 1, 1, 3, px), -1);
    // A full disk is a failure, not a short file called success.
    EXPECT_EQ(WriteBmp("/dev/full", 2, 2, 1, px), -1);
    EXPECT_EQ(errno, ENOSPC);
}

} // namespace
