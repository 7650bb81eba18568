// grassgen: writes the terrain's grass texture as a 24-bit BMP.
//
//   grassgen OUT.bmp [SEED]
//
// The texture is GrassSide pixels square and seamless; the same seed always
// gives the same file (default seed 1). Prints nothing on success; on
// failure prints one line to stderr and exits with status 1.
#include "datagen/bmpfile.h"
#include "datagen/grassgen_lib.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "datagen/cli.h"

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: grassgen OUT.bmp [SEED]\n");
        return 1;
    }
    unsigned long long seed = 1;
    if (argc == 3) {
        if (ParseWholeNumber(argv[2], 0xFFFFFFFFull, &seed) != 0) {
            fprintf(stderr, "grassgen: SEED must be a number from 0 to 4294967295\n");
            return 1;
        }
    }
    std::vector<unsigned char> rgb(static_cast<size_t>(GrassSide) * GrassSide * 3);
    if (MakeGrassTexture(GrassSide, static_cast<unsigned>(seed), rgb.data()) != 0) {
        fprintf(stderr, "grassgen: making the texture failed\n");
        return 1;
    }
    if (WriteBmp(argv[1], GrassSide, GrassSide, 3, rgb.data()) != 0) {
        fprintf(stderr, "grassgen: writing %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
