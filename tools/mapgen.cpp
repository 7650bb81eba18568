// mapgen: writes a generated height map as an 8-bit grey BMP.
//
//   mapgen OUT.bmp SIDE SEED [--start-view]
//
// SIDE is 1..4096 pixels, SEED any unsigned 32-bit number. --start-view
// shapes the terrain around the viewer's opening camera. Prints nothing on
// success; on failure prints one line to stderr and exits with status 1.
#include <SDL.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "tools/heightgen.h"
#include "tools/cli.h"

namespace {

void Usage() {
    fprintf(stderr, "usage: mapgen OUT.bmp SIDE SEED [--start-view]\n");
}

// Writes side x side heights as an 8-bit BMP with a grey-ramp palette.
// Returns 0, or -1 with the reason left in SDL_GetError().
int WriteGreyBmp(const char *path, int side, const unsigned char *heights) {
    SDL_Surface *surface = SDL_CreateRGBSurface(SDL_SWSURFACE, side, side, 8, 0, 0, 0, 0);
    if (surface == nullptr)
        return -1;
    SDL_Color palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i].r = (Uint8)i;
        palette[i].g = (Uint8)i;
        palette[i].b = (Uint8)i;
        palette[i].unused = 0;
    }
    SDL_SetColors(surface, palette, 0, 256);
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
        SDL_FreeSurface(surface);
        return -1;
    }
    // Surface rows are padded to the pitch; copy row by row.
    Uint8 *pixels = (Uint8 *)surface->pixels;
    for (int row = 0; row < side; ++row) {
        memcpy(pixels + (size_t)row * surface->pitch, heights + (size_t)row * side, (size_t)side);
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    int rc = SDL_SaveBMP(surface, path);
    SDL_FreeSurface(surface);
    return rc == 0 ? 0 : -1;
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
    if (ParseWholeNumber(positional[1], (unsigned long long)HeightMapMaxSide, &side) != 0 ||
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

    std::vector<unsigned char> heights((size_t)side * side);
    if (GenerateHeightMap((int)side, (unsigned)seed, startView, heights.data()) != 0) {
        fprintf(stderr, "mapgen: generating the height map failed\n");
        return 1;
    }
    if (WriteGreyBmp(outPath, (int)side, heights.data()) != 0) {
        fprintf(stderr, "mapgen: cannot write '%s': %s\n", outPath, SDL_GetError());
        return 1;
    }
    return 0;
}
