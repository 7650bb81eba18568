// The viewer's own start-up up to its first shown frame: the entry point's
// own start-up, then one frame, then "first frame" on standard
// output. Runs in a directory with the viewer's maps/, textures/ and fonts/.
//
//   startup_vorn MAP_FILE      (a file inside maps/)
#include "app/log.h"
#include "app/shell.h"
#include "render/frame.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <cstdio>

int main(int argc, char **argv) {
    OpenDebugLog("debug.txt");
    WriteBanner(DebugLog);
    const char *mapName = ChooseMapName(argc, argv, DebugLog);
    if (StartViewer(mapName) != 0) {
        fprintf(stderr, "startup_vorn: start-up failed (see debug.txt)\n");
        SDL_Quit();
        return 1;
    }

    DrawFrame();
    glFinish();
    printf("first frame\n");
    fflush(stdout);
    SDL_Quit();
    return 0;
}
