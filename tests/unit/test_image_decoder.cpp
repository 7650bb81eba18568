#include "decoder/decoder_child.h"
#include "decoder/image_decoder.h"
#include "decoder/image_reply.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

ImageReplyHeader DecodedHeader(uint32_t w, uint32_t h, uint32_t bits) {
    ImageReplyHeader header = {};
    header.magic = ImageReplyMagic;
    header.result = ImageReplyDecoded;
    header.width = w;
    header.height = h;
    header.bitsPerPixel = bits;
    header.bytesPerPixel = (bits + 7) / 8;
    header.pitch = SurfacePitchFor(w, bits);
    return header;
}

TEST(ImageReply, EverySizeTheDecoderStatesIsChecked) {
    ImageReplyLayout layout;
    const char *why = nullptr;

    ImageReplyHeader good = DecodedHeader(17, 5, 24);
    good.colourCount = 0;
    ASSERT_EQ(CheckImageReplyHeader(good, &layout, &why), 0);
    EXPECT_EQ(good.pitch, 52u);
    EXPECT_EQ(layout.pixelBytes, 52u * 5);
    ImageReplyHeader palette = DecodedHeader(3, 2, 8);
    palette.colourCount = 256;
    ASSERT_EQ(CheckImageReplyHeader(palette, &layout, &why), 0);
    EXPECT_EQ(layout.paletteBytes, 1024u);
    EXPECT_EQ(layout.pixelBytes, 8u);

    std::vector<ImageReplyHeader> bad;
    ImageReplyHeader h = good;
    h.magic ^= 1;
    bad.push_back(h);
    h = good;
    h.pitch += 4; // more bytes per row than the width needs
    bad.push_back(h);
    h = good;
    h.bytesPerPixel = 4;
    bad.push_back(h);
    h = DecodedHeader(30000, 2, 24); // rows beyond a 16-bit pitch
    h.pitch = SurfacePitchFor(30000, 24);
    bad.push_back(h);
    h = DecodedHeader(16384, 65535, 32); // over the pixel limit
    bad.push_back(h);
    h = palette;
    h.colourCount = 257;
    bad.push_back(h);
    h = DecodedHeader(4, 4, 4);
    h.colourCount = 17;
    bad.push_back(h);
    h = DecodedHeader(4, 4, 12);
    bad.push_back(h);
    h = good;
    h.result = 7;
    bad.push_back(h);
    h = {};
    h.magic = ImageReplyMagic;
    h.result = ImageReplyFailed;
    h.textLength = MaxImageErrorText + 1;
    bad.push_back(h);
    for (size_t i = 0; i < bad.size(); ++i) {
        why = nullptr;
        EXPECT_EQ(CheckImageReplyHeader(bad[i], &layout, &why), -1) << "header " << i;
        EXPECT_NE(why, nullptr) << "header " << i;
    }

    const ImageReplyLayout sizes = {1024, 8, 0};
    EXPECT_EQ(CheckImageReplyLength(sizes, 1032, &why), 0);
    EXPECT_EQ(CheckImageReplyLength(sizes, 1031, &why), -1);
    EXPECT_EQ(CheckImageReplyLength(sizes, 1033, &why), -1);
}

// Fails with what differs between the in-process and the isolated surface.
void ExpectSameSurface(const SDL_Surface *a, const SDL_Surface *b, const std::string &name) {
    SCOPED_TRACE(name);
    ASSERT_EQ(a->w, b->w);
    ASSERT_EQ(a->h, b->h);
    ASSERT_EQ(a->pitch, b->pitch);
    const SDL_PixelFormat *fa = a->format, *fb = b->format;
    ASSERT_EQ(fa->BitsPerPixel, fb->BitsPerPixel);
    ASSERT_EQ(fa->BytesPerPixel, fb->BytesPerPixel);
    EXPECT_EQ(fa->Rmask, fb->Rmask);
    EXPECT_EQ(fa->Gmask, fb->Gmask);
    EXPECT_EQ(fa->Bmask, fb->Bmask);
    EXPECT_EQ(fa->Amask, fb->Amask);
    EXPECT_EQ(a->flags & ImageReplySurfaceFlags, b->flags & ImageReplySurfaceFlags);
    EXPECT_EQ(fa->colorkey, fb->colorkey);
    EXPECT_EQ(fa->alpha, fb->alpha);
    ASSERT_EQ(fa->palette == nullptr, fb->palette == nullptr);
    if (fa->palette) {
        ASSERT_EQ(fa->palette->ncolors, fb->palette->ncolors);
        EXPECT_EQ(memcmp(fa->palette->colors, fb->palette->colors,
                         sizeof(SDL_Color) * size_t(fa->palette->ncolors)),
                  0);
    }
    EXPECT_EQ(memcmp(a->pixels, b->pixels, size_t(a->pitch) * size_t(a->h)), 0);
}

std::vector<std::string> FilesIn(const std::string &dir) {
    std::vector<std::string> files;
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d)) {
            if (e->d_name[0] != '.') {
                files.push_back(dir + "/" + e->d_name);
            }
        }
        closedir(d);
    }
    return files;
}

TEST(IsolatedDecode, EveryFormatGivesTheInProcessSurfaceByteForByte) {
    int compared = 0;
    for (const char *side : {"/16", "/17"}) {
        for (const std::string &path : FilesIn(std::string(VORN_FORMAT_IMAGES) + side)) {
            SDL_Surface *here = IMG_Load(path.c_str());
            ASSERT_NE(here, nullptr) << path << ": " << SDL_GetError();
            SDL_Surface *isolated = LoadImageIsolated(path.c_str());
            ASSERT_NE(isolated, nullptr) << path << ": " << SDL_GetError();
            ExpectSameSurface(here, isolated, path);
            SDL_FreeSurface(here);
            SDL_FreeSurface(isolated);
            ++compared;
        }
    }
    EXPECT_EQ(compared, 2 * 15);

    // A file that cannot be opened fails with the library's own words.
    const char *missing = "no-such-dir/missing.png";
    ASSERT_EQ(IMG_Load(missing), nullptr);
    const std::string inProcess = SDL_GetError();
    ASSERT_EQ(LoadImageIsolated(missing), nullptr);
    EXPECT_EQ(SDL_GetError(), inProcess);
}

TEST(DecoderChild, OpeningAFileOnceTheFilterIsInForceKillsTheChild) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (SetDecoderChildLimits() != 0 || InstallDecoderChildFilter() != 0) {
            _exit(2);
        }
        // Reading and writing open descriptors is allowed; opening is not.
        char byte = 0;
        if (write(STDOUT_FILENO, &byte, 0) != 0) {
            _exit(3);
        }
        const int fd = open("/dev/null", O_RDONLY);
        _exit(fd >= 0 ? 4 : 5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    char text[160];
    EXPECT_EQ(DescribeDecoderEnd(DecoderEnd::Signalled, WTERMSIG(status), text, sizeof text), -1);
    EXPECT_STREQ(text, "the image decoder made a forbidden system call (signal 31)");
}

TEST(IsolatedDecode, HostileImagesAreFailedDecodesWithTheirReason) {
    const std::string dir = VORN_HOSTILE_IMAGES;
    EXPECT_EQ(LoadImageIsolated((dir + "/crash.gif").c_str()), nullptr);
    EXPECT_STREQ(SDL_GetError(), "the image decoder crashed (signal 11)");
    EXPECT_EQ(LoadImageIsolated((dir + "/bomb.png").c_str()), nullptr);
    EXPECT_STREQ(SDL_GetError(), "the image decoder ran out of memory");
    // The service goes on serving after both.
    SDL_Surface *after =
        LoadImageIsolated((std::string(VORN_FORMAT_IMAGES) + "/16/colour.gif").c_str());
    EXPECT_NE(after, nullptr) << SDL_GetError();
    SDL_FreeSurface(after);
}

TEST(IsolatedDecode, AProcessWithThreadsAndNoServiceIsRefusedCleanly) {
    const std::string image = std::string(VORN_FORMAT_IMAGES) + "/16/grey8.bmp";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        StopImageDecoder();
        int gate[2];
        if (pipe(gate) != 0) {
            _exit(2);
        }
        std::thread waiter([&] {
            char c;
            (void)!read(gate[0], &c, 1);
        });
        SDL_Surface *s = LoadImageIsolated(image.c_str());
        const bool refused =
            !s && strstr(SDL_GetError(), "not started while the process had one thread");
        close(gate[1]);
        waiter.join();
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
