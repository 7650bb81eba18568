// The cost of decoding an image in an isolated child against decoding it in
// the process, for the maps and the three textures of a start-up. Run from
// the build directory (scripts/run-benchmarks), whose textures it reads.
#include "decoder/image_decoder.h"
#include "bench/bench_support.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

static std::string buildDir;

static const char *const Images[] = {"maps/bench1024.bmp", "maps/bench4096.bmp",
                                     "textures/grass2.bmp", "textures/skySIDE.bmp",
                                     "textures/skyTOP.bmp"};

static std::string ImagePath(int index) {
    // The maps are the benchmark's own, the textures the build's.
    return index < 2 ? std::string(Images[index]) : buildDir + "/" + Images[index];
}

static void Decode(benchmark::State &state, bool isolated) {
    const std::string path = ImagePath(static_cast<int>(state.range(0)));
    state.SetLabel(Images[state.range(0)]);
    for (auto _ : state) {
        SDL_Surface *s = isolated ? LoadImageIsolated(path.c_str()) : IMG_Load(path.c_str());
        if (!s) {
            state.SkipWithError(SDL_GetError());
            break;
        }
        benchmark::DoNotOptimize(s->pixels);
        SDL_FreeSurface(s);
    }
}

static void BM_InProcess(benchmark::State &state) {
    Decode(state, false);
}
static void BM_Isolated(benchmark::State &state) {
    Decode(state, true);
}
BENCHMARK(BM_InProcess)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Isolated)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// A height map as the viewer loads it: the 4096 map as its 8-bit BMP and as
// its 16-bit twin, a PNG decoded with libpng in the child.
static void BM_IsolatedMap(benchmark::State &state) {
    const char *const maps[] = {"maps/bench4096.bmp", "maps/bench4096.png"};
    const char *path = maps[state.range(0)];
    state.SetLabel(path);
    for (auto _ : state) {
        DecodedMap map;
        if (LoadMapIsolated(path, &map) != 0) {
            state.SkipWithError(SDL_GetError());
            break;
        }
        benchmark::DoNotOptimize(map.samples);
        FreeDecodedMap(&map);
    }
}
BENCHMARK(BM_IsolatedMap)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    StartImageDecoder();
    char here[4096];
    if (!getcwd(here, sizeof here)) {
        return 1;
    }
    buildDir = here;
    if (EnterBenchDirectoryWithMaps({1024, 4096}).empty() ||
        WriteBenchMap16("maps/bench4096.png", 4096) != 0) {
        fprintf(stderr, "could not make the benchmark maps\n");
        return 1;
    }
    return RunBenchmarksHere(argc, argv);
}
