#include "tests/support/gl_window.h"

#include "app/log.h"
#include "app/shell.h"
#include "render/video.h"
#include "tests/support/test_files.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"

#include <SDL/SDL.h>
#include <cstdio>
#include <string>
#include <unistd.h>

static const int Attempts = 5;

int OpenBareWindow(int w, int h) {
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        if (SDL_Init(SDL_INIT_VIDEO) == 0) {
            SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
            SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
            if (SDL_SetVideoMode(w, h, 0, SDL_OPENGL)) {
                return 0;
            }
        }
        fprintf(stderr, "opening a test window failed (%s), attempt %d\n", SDL_GetError(),
                attempt + 1);
        SDL_Quit();
        usleep(200000);
    }
    return -1;
}

int StartViewerGL(const char *mapName) {
    int result = -1;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        CaptureLog();
        result = StartViewer(mapName);
        if (result == 0 ||
            CapturedLog().find("starting the video subsystem failed") == std::string::npos) {
            break;
        }
        fprintf(stderr, "the display refused the connection, attempt %d\n", attempt + 1);
        SDL_Quit();
        // The next attempt loads the map again.
        FreeHeightMap();
        FreeTerrainMesh();
        usleep(200000);
    }
    if (result != 0 && !heightMap.pixels && !heightMap.wide) {
        fprintf(stderr, "test map %s did not load:\n%s\n", mapName, CapturedLog().c_str());
    }
    return result;
}

int CountDifferingPixels(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b) {
    int n = 0;
    for (size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) {
        n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    }
    return n;
}
