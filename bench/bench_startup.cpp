// Time from starting a process to its first shown frame: the viewer's own
// start-up (startup_vorn) against the floor (startup_floor), run in turns on
// the same map so that both see the same machine. Needs an X display and the
// build directory's maps/, textures/ and fonts/ in the working directory
// (scripts/run-benchmarks provides both).
//
// After one untimed run of each, every iteration starts the floor, then the
// viewer; the iteration time is the viewer's, and the counters give both means
// and their ratio.
#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static std::string programDir;

// Runs program with the map name and returns the seconds until it printed
// "first frame", or a negative value when it did not.
static double SecondsToFirstFrame(const char *program, const char *map) {
    std::string said;
    return RunToFirstFrame(programDir + "/" + program, {map}, &said);
}

// A virtual display can refuse a connection now and then, so a start that
// shows no frame is tried again a few times; only the start that showed its
// frame is timed. Returns its seconds, or a negative value.
static double TimedStart(const char *program, const char *map) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const double seconds = SecondsToFirstFrame(program, map);
        if (seconds >= 0) {
            return seconds;
        }
        usleep(200000);
    }
    return -1;
}

// Runs both once, untimed, so that files and libraries are cached for both
// alike. Returns 0 when both showed a frame.
static int WarmUp(const char *map) {
    for (const char *program : {"startup_floor", "startup_vorn"}) {
        if (TimedStart(program, map) < 0) {
            return -1;
        }
    }
    return 0;
}

static void BM_StartupToFirstFrame(benchmark::State &state, const char *map) {
    if (WarmUp(map) != 0) {
        state.SkipWithError("a program does not show its first frame");
        return;
    }
    double floorTotal = 0, vornTotal = 0;
    for (auto _ : state) {
        const double floorSeconds = TimedStart("startup_floor", map);
        const double vornSeconds = TimedStart("startup_vorn", map);
        if (floorSeconds < 0 || vornSeconds < 0) {
            state.SkipWithError("a program did not show its first frame");
            break;
        }
        floorTotal += floorSeconds;
        vornTotal += vornSeconds;
        state.SetIterationTime(vornSeconds);
    }
    if (state.iterations() > 0 && floorTotal > 0) {
        const double runs = static_cast<double>(state.iterations());
        state.counters["floor_ms"] = floorTotal * 1000 / runs;
        state.counters["vorn_ms"] = vornTotal * 1000 / runs;
        state.counters["vorn_per_floor"] = vornTotal / floorTotal;
    }
}
BENCHMARK_CAPTURE(BM_StartupToFirstFrame, map512, "mapa.bmp")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StartupToFirstFrame, map1024, "mapa1024.bmp")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    programDir = ProgramDirectory();
    if (programDir.empty()) {
        return 1;
    }
    if (!getenv("DISPLAY")) {
        fprintf(stderr, "bench_startup: needs an X display\n");
        return 1;
    }
    const std::string scratch = EnterScratchWithData("bench_startup");
    if (scratch.empty()) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    LeaveScratch(scratch);
    return 0;
}
