#include "bench/bench_support.h"

#include "tools/heightgen.h"

#include <SDL/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static int WriteMap(const std::string &path, int side) {
    std::vector<unsigned char> heights(static_cast<size_t>(side) * side);
    if (GenerateHeightMap(side, 1, 1, heights.data()) != 0) {
        return -1;
    }
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, side, side, 8, 0, 0, 0, 0);
    if (!s) {
        return -1;
    }
    for (int r = 0; r < side; ++r) {
        memcpy(static_cast<Uint8 *>(s->pixels) + r * s->pitch, &heights[size_t(r) * side], side);
    }
    int result = SDL_SaveBMP(s, path.c_str());
    SDL_FreeSurface(s);
    return result;
}

std::string EnterBenchDirectoryWithMaps(std::initializer_list<int> sides) {
    char pattern[] = "/tmp/vorn-bench-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0 || mkdir("maps", 0755) != 0) {
        return {};
    }
    for (int side : sides) {
        if (WriteMap("maps/bench" + std::to_string(side) + ".bmp", side) != 0) {
            return {};
        }
    }
    return pattern;
}
