// mapgen: writes a generated height map as an 8-bit grey BMP.
//
//   mapgen OUT.bmp SIDE SEED [--start-view]
//
// SIDE is 1..4096 pixels, SEED any unsigned 32-bit number. --start-view
// shapes the terrain around the viewer's opening camera. Prints nothing on
// success; on failure prints one line to stderr and exits with status 1.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <vector>

#include "datagen/bmpfile.h"
#include "datagen/heightgen.h"
#include "datagen/cli.h"

namespace {

void Usage() {
    fprintf(stderr, "usage: mapgen OUT.bmp SIDE SEED [--start-view]\n");
}

} // namespace

int main(int argc, char **argv) {
    const char *positional[3] = {nullptr, nullptr, nullptr};
    int count = 0;
    int startView = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--start-view") == 0) {
            startView = 1;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0' &&
                   (argv[i][1] < '0' || argv[i][1] > '9')) {
            fprintf(stderr, "mapgen: unknown option '%s'\n", argv[i]);
            Usage();
            return 1;
        } else if (count < 3) {
            positional[count++] = argv[i];
        } else {
            fprintf(stderr, "mapgen: too many arguments\n");
            Usage();
            return 1;
        }
    }
    if (count < 3) {
        Usage();
        return 1;
    }
    const char *outPath = positional[0];
    unsigned long long side = 0, seed = 0;
    if (outPath[0] == '\0') {
        fprintf(stderr, "mapgen: empty output path\n");
        return 1;
    }
    if (ParseWholeNumber(positional[1], static_cast<unsigned long long>(HeightMapMaxSide), &side) !=
            0 ||
        side < 1) {
        fprintf(stderr, "mapgen: SIDE must be a whole number from 1 to %d, not '%s'\n",
                HeightMapMaxSide, positional[1]);
        return 1;
    }
    if (ParseWholeNumber(positional[2], 0xffffffffULL, &seed) != 0) {
        fprintf(stderr, "mapgen: SEED must be a whole number from 0 to 4294967295, not '%s'\n",
                positional[2]);
        return 1;
    }

    std::vector<unsigned char> heights(static_cast<size_t>(side) * side);
    if (GenerateHeightMap(static_cast<int>(side), static_cast<unsigned>(seed), startView,
                          heights.data()) != 0) {
        fprintf(stderr, "mapgen: generating the height map failed\n");
        return 1;
    }
    if (WriteBmp(outPath, static_cast<int>(side), static_cast<int>(side), 1, heights.data()) != 0) {
        fprintf(stderr, "mapgen: cannot write '%s': %s\n", outPath, strerror(errno));
        return 1;
    }
    return 0;
}
