// The launcher's question: is this file a height map the viewer shows as it
// is? The header probe must agree with the image library, and survive any
// bytes.
#include "launcher/mapprobe_lib.h"
#include "tests/support/test_files.h"

#include <SDL/SDL_image.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes &b, size_t at, uint32_t v, int n, bool big = false) {
    if (b.size() < at + n) {
        b.resize(at + n);
    }
    for (int i = 0; i < n; ++i) {
        b[at + (big ? n - 1 - i : i)] = i < 4 ? static_cast<unsigned char>(v >> (8 * i)) : 0;
    }
}

// Headers just long enough to be read whole.
Bytes Png(uint32_t w, uint32_t h, int depth, int colour) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    Put(b, 16, w, 4, true);
    Put(b, 20, h, 4, true);
    Put(b, 24, static_cast<uint32_t>(depth | colour << 8), 2);
    return b;
}

Bytes Bmp(int32_t w, int32_t h, int bits) {
    Bytes b = {'B', 'M'};
    Put(b, 14, 40, 4);
    Put(b, 18, static_cast<uint32_t>(w), 4);
    Put(b, 22, static_cast<uint32_t>(h), 4);
    Put(b, 26, 1, 2);
    Put(b, 28, static_cast<uint32_t>(bits), 2);
    Put(b, 30, 0, 4); // compression
    return b;
}

// A GIF whose logical screen differs from its first image, with a comment
// extension in between.
Bytes Gif(int screen, int image) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put(b, 6, static_cast<uint32_t>(screen | screen << 16), 4);
    Put(b, 10, 0x80, 3);                                  // a 2-entry global colour table
    b.insert(b.end(), {0, 0, 0, 255, 255, 255});          // the table
    b.insert(b.end(), {0x21, 0xfe, 3, 'a', 'b', 'c', 0}); // comment
    b.push_back(0x2c);
    Put(b, b.size(), 0, 4);
    Put(b, b.size(), static_cast<uint32_t>(image | image << 16), 4);
    b.push_back(0);
    return b;
}

Bytes Pgm(const char *header) {
    std::string s = header;
    return Bytes(s.begin(), s.end());
}

int Probe(const Bytes &b, const char *name = "map") {
    ImageHeader h;
    // An exact-size copy, so that any read past the end is caught.
    Bytes exact(b);
    return ProbeHeightMapHeader(exact.data(), exact.size(), name, &h);
}

TEST(MapProbe, KnowsEightBitSquareImagesOfEveryFormat) {
    EXPECT_EQ(Probe(Png(200, 200, 8, 0)), 1);
    EXPECT_EQ(Probe(Png(64, 64, 4, 3)), 1);
    EXPECT_EQ(Probe(Png(4096, 4096, 16, 0)), 1) << "16-bit grey: a map of 65536 levels";
    EXPECT_EQ(Probe(Bmp(512, 512, 8)), 1);
    EXPECT_EQ(Probe(Bmp(512, -512, 8)), 1) << "top-down rows";
    EXPECT_EQ(Probe(Gif(100, 4096)), 1) << "the first image's size counts";
    EXPECT_EQ(Probe(Pgm("P5\n# made by hand\n4096 4096\n255\n")), 1);
    EXPECT_EQ(Probe(Pgm("/* XPM */\nstatic char *x[] = {\n\"32 32 256 2\",")), 1);
    Bytes tga(18);
    tga[1] = 1, tga[2] = 1, tga[16] = 8;
    Put(tga, 12, 300 | 300 << 16, 4);
    EXPECT_EQ(Probe(tga, "dir/hill.TGA"), 1);
    EXPECT_EQ(Probe(tga, "hill.dat"), 0) << "a TGA is known by its name only";
    Bytes pcx(128);
    pcx[0] = 0x0a, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8, pcx[65] = 1;
    Put(pcx, 8, 99 | 99 << 16, 4); // xmax, ymax: 100 x 100
    EXPECT_EQ(Probe(pcx), 1);
}

TEST(MapProbe, RefusesOtherPicturesSizesAndElevationData) {
    EXPECT_EQ(Probe(Png(200, 200, 16, 2)), 0) << "16-bit RGB";
    EXPECT_EQ(Probe(Png(200, 200, 16, 4)), 0) << "16-bit grey and alpha";
    EXPECT_EQ(Probe(Png(200, 200, 16, 6)), 0) << "16-bit RGBA";
    EXPECT_EQ(Probe(Png(200, 200, 8, 2)), 0) << "RGB";
    EXPECT_EQ(Probe(Png(200, 100, 8, 0)), 0);
    EXPECT_EQ(Probe(Png(4097, 4097, 8, 0)), 0);
    EXPECT_EQ(Probe(Png(0, 0, 8, 0)), 0);
    EXPECT_EQ(Probe(Png(0x80000000u, 0x80000000u, 8, 0)), 0);
    EXPECT_EQ(Probe(Bmp(256, 256, 24)), 0);
    EXPECT_EQ(Probe(Bmp(256, INT32_MIN, 8)), 0);
    EXPECT_EQ(Probe(Gif(100, 5000)), 0);
    EXPECT_EQ(Probe(Pgm("P5 300 300 65535\n")), 0);
    EXPECT_EQ(Probe(Pgm("P6 300 300 255\n")), 0);
    EXPECT_EQ(Probe(Pgm("/* XPM */\nstatic char *x[] = {\n\"32 32 257 2\",")), 0);
    EXPECT_EQ(Probe(Pgm("ncols 64\nnrows 64\n")), 0) << "an ASCII grid";
    EXPECT_EQ(Probe(Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}), 0) << "a TIFF";
    ImageHeader h;
    EXPECT_EQ(ProbeHeightMapHeader(nullptr, 10, "x.png", &h), 0);
}

TEST(MapProbe, SurvivesEveryTruncationAndLyingLengths) {
    const Bytes whole[] = {Png(8, 8, 8, 0), Png(8, 8, 16, 0), Bmp(8, 8, 8), Gif(8, 8),
                           Pgm("P5 8 8 255\n")};
    for (const Bytes &b : whole) {
        ASSERT_EQ(Probe(b), 1);
        for (size_t n = 0; n + 1 < b.size(); ++n) {
            // A cut header is never taken for a map (a PGM's last digits
            // may still read as a smaller, valid size).
            int got = Probe(Bytes(b.begin(), b.begin() + static_cast<ptrdiff_t>(n)));
            if (b[0] != 'P') {
                EXPECT_EQ(got, 0) << "cut at " << n;
            }
        }
    }
    // Extension sub-blocks that claim to run past the end of the file.
    Bytes gif = Gif(8, 8);
    gif.resize(19);
    gif.insert(gif.end(), {0x21, 0xf9, 0xff, 1, 2});
    EXPECT_EQ(Probe(gif), 0);
    Bytes pgm = Pgm("P2 99999999999999999999 8 255");
    EXPECT_EQ(Probe(pgm), 0);
}

#ifdef VORN_FORMAT_IMAGES
// Over the sample images in every format: the probe says yes exactly when
// the image library decodes an 8-bit square. A 16-bit grey PNG is one: the
// library cuts it to 8 bits, and the viewer reads all 16.
TEST(MapProbe, AgreesWithTheImageLibraryOnEveryFormat) {
    int checked = 0;
    for (const char *side : {"/16", "/17"}) {
        std::string dir = std::string(VORN_FORMAT_IMAGES) + side;
        DIR *d = opendir(dir.c_str());
        ASSERT_NE(d, nullptr) << dir;
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name[0] == '.') {
                continue;
            }
            std::string path = dir + "/";
            path += name;
            FILE *f = fopen(path.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            Bytes b(size_t{64} * 1024);
            b.resize(fread(b.data(), 1, b.size(), f));
            fclose(f);
            SDL_Surface *s = IMG_Load(path.c_str());
            bool viewer = s && s->format->BitsPerPixel == 8 && s->w == s->h;
            if (s) {
                SDL_FreeSurface(s);
            }
            EXPECT_EQ(Probe(b, path.c_str()), viewer ? 1 : 0) << path;
            ++checked;
        }
        closedir(d);
    }
    EXPECT_GE(checked, 20);
}
#endif

} // namespace

// The probe reads regular files only: every other kind is named, and a
// pipe or a device is never opened.
TEST(MapProbe, NamesEveryFileKindItRefuses) {
    const std::string dir = MakeScratchDir();
    const std::string pipe = dir + "/pipe.tif";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct stat st;
    ASSERT_EQ(stat(pipe.c_str(), &st), 0);
    EXPECT_STREQ(RefusedFileKind(st.st_mode), "a named pipe");
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_STREQ(RefusedFileKind(st.st_mode), "a device");
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_STREQ(RefusedFileKind(st.st_mode), "a folder");
    EXPECT_STREQ(RefusedFileKind(S_IFSOCK | 0600), "a socket");
    ASSERT_EQ(stat("/proc/self/exe", &st), 0);
    EXPECT_EQ(RefusedFileKind(st.st_mode), nullptr);
    unlink(pipe.c_str());
    rmdir(dir.c_str());
}
