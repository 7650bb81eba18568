// Loading and checking a height map from disk.
#include "app/log.h"
#include "bench/bench_support.h"
#include "terrain/heightmap.h"

#include <SDL/SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>

static void BM_LoadHeightMap(benchmark::State &state) {
    int side = static_cast<int>(state.range(0));
    std::string name = "bench" + std::to_string(side) + ".bmp";
    for (auto _ : state) {
        if (LoadHeightMap(name.c_str()) != 0) {
            state.SkipWithError("map did not load");
            break;
        }
        benchmark::DoNotOptimize(GetLevel(1, 1));
        FreeHeightMap();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(side) * side);
}
BENCHMARK(BM_LoadHeightMap)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    DebugLog = stderr;
    return RunBenchmarksOnMaps(argc, argv, {1024, 4096});
}
