// Texture files decode into exactly the bytes the tools meant GL to read.
#include "tests/support/test_files.h"
#include "datagen/bmpfile.h"

#include <SDL/SDL_image.h>
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
    ASSERT_EQ(WriteTextureBmp(path.c_str(), w, h, bpp, pixels.data()), 0);
    SDL_Surface *s = IMG_Load(path.c_str());
    ASSERT_NE(s, nullptr) << SDL_GetError();
    EXPECT_EQ(s->w, w);
    EXPECT_EQ(s->h, h);
    EXPECT_EQ(s->format->BytesPerPixel, bpp);
    for (int r = 0; r < h; ++r) {
        const unsigned char *row = static_cast<unsigned char *>(s->pixels) + r * s->pitch;
        ASSERT_EQ(0, memcmp(row, &pixels[static_cast<size_t>(r) * w * bpp], size_t(w) * bpp))
            << w << "x" << h << "x" << bpp << " row " << r;
    }
    SDL_FreeSurface(s);
    remove(path.c_str());
    rmdir(dir.c_str());
}

TEST(TextureBmp, DecodesToTheGivenRowsAndBytes) {
    ExpectDecodesTo(4, 3, 3);
    ExpectDecodesTo(5, 7, 3); // rows padded to 4 bytes in the file
    ExpectDecodesTo(6, 2, 4);
    ExpectDecodesTo(1, 1, 3);
}

TEST(TextureBmp, RefusesBadArguments) {
    unsigned char px[12] = {};
    EXPECT_EQ(WriteTextureBmp("/tmp/x.bmp", 0, 1, 3, px), -1);
    EXPECT_EQ(WriteTextureBmp("/tmp/x.bmp", 1, 1, 2, px), -1);
    EXPECT_EQ(WriteTextureBmp("/tmp/x.bmp", 1, 1, 3, nullptr), -1);
    EXPECT_EQ(WriteTextureBmp("/nonexistent-dir/x.bmp", 1, 1, 3, px), -1);
}

} // namespace
