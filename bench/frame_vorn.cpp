// The viewer's frames on one map, for bench_terrain: the viewer's own
// start-up, "first frame" on standard output once the first frame is shown,
// then frames at the start view and along a scripted flight, each finished
// by the GL driver before the next, and one line of figures:
//
//   frame_vorn MAP chunks|whole STILL_FRAMES FLIGHT_FRAMES [ERROR_PIXELS [CHUNK_CELLS]]
//
// (MAP inside maps/; the last two replace the viewer's own choices.)
// "whole" draws the map as one list, as it was drawn before chunks.
// Run it in a directory with the viewer's maps/, textures/ and fonts/.
#include "app/log.h"
#include "app/shell.h"
#include "app/world.h"
#include "camera/camera.h"
#include "decoder/image_decoder.h"
#include "font/bmf.h"
#include "render/frame.h"
#include "terrain/heightmap.h"
#include "terrain/terrain_list.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <vector>

struct Series {
    std::vector<double> ms;
    long maxTriangles = 0;
    double sumTriangles = 0;
    long maxCompiled = 0;
};

static void TimedFrame(Series *series) {
    const auto start = std::chrono::steady_clock::now();
    DrawFrame();
    glFinish();
    series->ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    series->maxTriangles = std::max(series->maxTriangles, terrainView.trianglesDrawn);
    series->sumTriangles += static_cast<double>(terrainView.trianglesDrawn);
    series->maxCompiled = std::max(series->maxCompiled, terrainView.verticesCompiled);
}

static double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

// World height of the ground under (x, z), or 0 off the map.
static float GroundAt(float x, float z) {
    const int c = static_cast<int>((x + WorldHalfExtent) / heightMap.cellSize);
    const int r = static_cast<int>((z + WorldHalfExtent) / heightMap.cellSize);
    if (c < 0 || r < 0 || c >= heightMap.size || r >= heightMap.size) {
        return -HalfHeight;
    }
    return GroundHeight(static_cast<uint16_t>(c), static_cast<uint16_t>(r)) - HalfHeight;
}

// The flight: from near one corner to near the opposite one, low over the
// ground, 30 units a frame (one key step; holding the key gives one step
// every 30 ms), looking ahead and a little down.
static void PlaceOnFlight(int frame) {
    const float start = -0.4f * WorldExtent;
    const float along = start + 30.0f * static_cast<float>(frame) / std::sqrt(2.0f);
    float ground = -HalfHeight;
    for (float ahead = 0.0f; ahead <= 300.0f; ahead += 10.0f) {
        ground = std::max(ground, GroundAt(along + ahead, along + ahead));
    }
    camera.eye = Vec3f{along, ground + 60.0f, along};
    camera.lookAt = Vec3f{along + 0.7f, ground + 59.85f, along + 0.7f};
}

static void Print(const char *name, const Series &s) {
    printf("%s %zu %.2f %.2f %ld %.0f %ld\n", name, s.ms.size(), Percentile(s.ms, 0.5),
           Percentile(s.ms, 0.99), s.maxTriangles,
           s.ms.empty() ? 0.0 : s.sumTriangles / static_cast<double>(s.ms.size()), s.maxCompiled);
}

int main(int argc, char **argv) {
    if (argc < 5 || argc > 7) {
        fprintf(stderr, "usage: frame_vorn MAP chunks|whole STILL_FRAMES FLIGHT_FRAMES "
                        "[ERROR_PIXELS [CHUNK_CELLS]]\n");
        return 1;
    }
    const bool whole = strcmp(argv[2], "whole") == 0;
    const int stillFrames = atoi(argv[3]);
    const int flightFrames = atoi(argv[4]);
    terrainView.wholeMap = whole;
    if (argc >= 6) {
        terrainView.errorPixels = atof(argv[5]);
    }
    if (argc >= 7) {
        terrainView.chunkCells = atoi(argv[6]);
    }
    OpenDebugLog("debug.txt");
    WriteBanner(DebugLog);
    if (StartViewer(argv[1]) != 0) {
        fprintf(stderr, "frame_vorn: start-up failed (see debug.txt)\n");
        SDL_Quit();
        return 1;
    }
    Series first;
    TimedFrame(&first);
    printf("first frame\n");
    fflush(stdout);
    const int waitingAfterFirst = terrainView.chunksWaiting;

    // The start view, including the frames that still sharpen it.
    Series still;
    int framesToFull = -1;
    for (int i = 0; i < stillFrames; ++i) {
        TimedFrame(&still);
        if (framesToFull < 0 && terrainView.chunksWaiting == 0) {
            framesToFull = i + 1;
        }
    }
    const long stillLists = terrainView.listVertices;
    Series flight;
    for (int i = 0; i < flightFrames; ++i) {
        PlaceOnFlight(i);
        TimedFrame(&flight);
    }

    printf("first %.2f waiting %d full_after %d\n", first.ms[0], waitingAfterFirst, framesToFull);
    Print("still", still);
    Print("flight", flight);
    printf("lists %ld %ld dropped %ld\n", stillLists, terrainView.listVertices,
           terrainView.listsDropped);
    FreeTerrainLists();
    FreeBmfFont(mainFont);
    SDL_Quit();
    StopImageDecoder();
    struct rusage self, children;
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    printf("rss %ld %ld\n", self.ru_maxrss, children.ru_maxrss);
    return 0;
}
