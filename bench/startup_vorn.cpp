// The viewer's own start-up up to its first shown frame: the steps of its
// entry point in their order, then one frame, then "first frame" on standard
// output. Runs in a directory with the viewer's maps/, textures/ and fonts/.
//
//   startup_vorn MAP_FILE      (a file inside maps/)
#include "app/log.h"
#include "app/shell.h"
#include "render/frame.h"
#include "render/video.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <cstdio>

int main(int argc, char **argv) {
    OpenDebugLog("debug.txt");
    WriteBanner(DebugLog);
    const char *mapName = ChooseMapName(argc, argv, DebugLog);
    if (LoadHeightMap(mapName) != 0) {
        fprintf(stderr, "startup_vorn: the map did not load (see debug.txt)\n");
        return 1;
    }
    BuildTerrainMesh();
    if (InitGL() != 0) {
        fprintf(DebugLog, "ERROR: InitGL() failed!\n");
        fprintf(stderr, "startup_vorn: start-up failed (see debug.txt)\n");
        SDL_Quit();
        return 1;
    }
    char title[64];
    snprintf(title, sizeof title, "terrain size: %d x %d", heightMap.size, heightMap.size);
    SDL_WM_SetCaption(title, VornName);
    SDL_EnableKeyRepeat(500, 30);

    DrawFrame();
    glFinish();
    printf("first frame\n");
    fflush(stdout);
    SDL_Quit();
    return 0;
}
