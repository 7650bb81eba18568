// skygen: writes the two sky images of the viewer's sky box as 24-bit BMPs.
//
//   skygen SIDE.bmp TOP.bmp [SEED]
//
// SIDE.bmp is SkySideWidth x SkySideHeight, TOP.bmp SkyTopSide square.
// SEED (default 1) is any unsigned 32-bit number; the same seed always gives
// the same files. Prints nothing on success; on failure prints one line to
// stderr and exits with status 1.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <vector>

#include "datagen/bmpfile.h"
#include "datagen/skygen_lib.h"
#include "datagen/cli.h"

namespace {

void Usage() {
    fprintf(stderr, "usage: skygen SIDE.bmp TOP.bmp [SEED]\n");
}

// Writes an image that its generator made with result rc to path; returns
// 0, or -1 after printing why.
int WriteImage(const char *path, int w, int h, int rc, const std::vector<unsigned char> &rgb) {
    if (rc != 0) {
        fprintf(stderr, "skygen: making %s failed\n", path);
        return -1;
    }
    if (WriteBmp(path, w, h, 3, rgb.data()) != 0) {
        fprintf(stderr, "skygen: cannot write '%s'\n", path);
        return -1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3 || argc > 4 || argv[1][0] == '\0' || argv[2][0] == '\0') {
        Usage();
        return 1;
    }
    unsigned long long seed = 1;
    if (argc == 4 && ParseWholeNumber(argv[3], 0xffffffffULL, &seed) != 0) {
        fprintf(stderr, "skygen: SEED must be a whole number from 0 to 4294967295, not '%s'\n",
                argv[3]);
        return 1;
    }

    std::vector<unsigned char> side(static_cast<size_t>(SkySideWidth) * SkySideHeight * 3);
    int rc = MakeSkySide(SkySideWidth, SkySideHeight, static_cast<unsigned>(seed), side.data());
    if (WriteImage(argv[1], SkySideWidth, SkySideHeight, rc, side) != 0) {
        return 1;
    }

    std::vector<unsigned char> top(static_cast<size_t>(SkyTopSide) * SkyTopSide * 3);
    rc = MakeSkyTop(SkyTopSide, static_cast<unsigned>(seed), top.data());
    if (WriteImage(argv[2], SkyTopSide, SkyTopSide, rc, top) != 0) {
        return 1;
    }
    return 0;
}
