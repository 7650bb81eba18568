// The viewer's frame: DrawFrame at the start view of the 1024 x 1024 map, in
// the viewer's own process after its own start-up, each frame finished by
// the GL driver before the next. Run it in the build directory, on an X
// display.
#include "app/log.h"
#include "app/shell.h"
#include "bench/bench_support.h"
#include "font/bmf.h"
#include "render/frame.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

static void BM_Frame(benchmark::State &state) {
    for (auto _ : state) {
        DrawFrame();
        glFinish();
    }
}
BENCHMARK(BM_Frame)->MinTime(3.0)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    if (!getenv("DISPLAY")) {
        fprintf(stderr, "bench_frame: needs an X display\n");
        return 1;
    }
    const std::string scratch = EnterScratchWithData("bench_frame");
    if (scratch.empty()) {
        return 1;
    }
    // The viewer's start-up, before anything starts a thread.
    OpenDebugLog("debug.txt");
    if (StartViewer("mapa1024.bmp") != 0) {
        fprintf(stderr, "bench_frame: start-up failed\n");
        SDL_Quit();
        LeaveScratch(scratch);
        return 1;
    }
    // The first frames fill the driver's caches.
    for (int i = 0; i < 5; ++i) {
        DrawFrame();
    }
    glFinish();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeBmfFont(mainFont);
    SDL_Quit();
    LeaveScratch(scratch);
    return 0;
}
