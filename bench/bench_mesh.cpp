// Building the terrain normals, per grid point, against the literal walk
// (column by column, one point at a time).
#include "app/log.h"
#include "bench/bench_support.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"

#include <SDL/SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <malloc.h>
#include <sys/resource.h>

static int LoadBenchMap(benchmark::State &state) {
    const int side = static_cast<int>(state.range(0));
    FreeHeightMap();
    std::string name = "bench" + std::to_string(side) + ".bmp";
    if (LoadHeightMap(name.c_str()) != 0) {
        state.SkipWithError("map did not load");
        return -1;
    }
    return side;
}

static void ReportPerPoint(benchmark::State &state, int side) {
    state.counters["per_point"] = benchmark::Counter(static_cast<double>(side) * side,
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

static long MinorFaults() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The whole of BuildTerrainMesh, allocation of the planes included. With
// fresh memory (second argument 0) the heap gives the freed planes back to
// the system after every build, so each build touches new pages, as at the
// viewer's start; with reused memory (1) it keeps them, which leaves the
// computation alone. "faults" counts the page faults of one build.
static void BM_BuildTerrainMesh(benchmark::State &state) {
    const int side = LoadBenchMap(state);
    if (side < 0) {
        return;
    }
    const bool reuse = state.range(1) != 0;
    mallopt(M_TRIM_THRESHOLD, reuse ? 1 << 30 : 0);
    if (reuse) { // fault the pages in once, outside the measurement
        BuildTerrainMesh();
        FreeTerrainMesh();
    }
    long faults = 0;
    for (auto _ : state) {
        const long before = MinorFaults();
        BuildTerrainMesh();
        faults += MinorFaults() - before;
        benchmark::DoNotOptimize(terrainMesh.normalY[side / 2][side / 2]);
        state.PauseTiming();
        FreeTerrainMesh();
        state.ResumeTiming();
    }
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    ReportPerPoint(state, side);
    state.counters["faults"] =
        benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_BuildTerrainMesh)
    ->ArgNames({"side", "reused"})
    ->ArgsProduct({{256, 1024, 4096}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The interior walked as the plain description goes: columns outside, rows
// inside, ComputeVertexNormal for each point (planes already allocated).
static void BM_LiteralColumnWalk(benchmark::State &state) {
    const int side = LoadBenchMap(state);
    if (side < 0) {
        return;
    }
    BuildTerrainMesh();
    for (auto _ : state) {
        for (int c = 1; c <= side - 2; ++c) {
            for (int r = 1; r <= side - 2; ++r) {
                ComputeVertexNormal(static_cast<uint16_t>(c), static_cast<uint16_t>(r));
            }
        }
        benchmark::DoNotOptimize(terrainMesh.normalY[side / 2][side / 2]);
    }
    FreeTerrainMesh();
    ReportPerPoint(state, side);
}
BENCHMARK(BM_LiteralColumnWalk)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    DebugLog = stderr;
    return RunBenchmarksOnMaps(argc, argv, {256, 1024, 4096});
}
