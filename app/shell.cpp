#include "app/shell.h"

#include "decoder/image_decoder.h"
#include "app/log.h"
#include "camera/camera.h"
#include "camera/keys.h"
#include "font/bmf.h"
#include "render/frame.h"
#include "render/video.h"
#include "terrain/heightmap.h"

static const char *const MapDirectoryName = "maps";

void WriteBanner(FILE *log) {
    fprintf(log, "vorn version: %s by tesk (tesk@example.org)\n\n", VornVersion);
}

const char *ChooseMapName(int argc, char **argv, FILE *log) {
    if (argc >= 2) {
        return argv[1];
    }
    const char *self = argc >= 1 && argv[0] ? argv[0] : VornName;
    fprintf(log, "NO MAP SPECIFIED !!\n");
    fprintf(log, "usage: %s [map_file]\n", self);
    fprintf(log, "example: %s mapa256.bmp\n", self);
    fprintf(log, "note: maps must be in %s directory\n", MapDirectoryName);
    fprintf(log, " ---- using default map: %s ----\n", DefaultMapName);
    return DefaultMapName;
}

int DispatchEvent(const SDL_Event *event) {
    switch (event->type) {
    case SDL_MOUSEMOTION:
        HandleMouseMotion();
        break;
    case SDL_KEYDOWN:
        HandleKeyDown(event->key.keysym.sym);
        break;
    case SDL_VIDEORESIZE:
        ResizeWindow(event->resize.w, event->resize.h);
        break;
    case SDL_QUIT:
        return 0;
    default:
        break;
    }
    return 1;
}

int StartViewer(const char *mapName) {
    // Before the media layer or the GL driver start any thread; without the
    // service the images are refused when they are loaded.
    StartImageDecoder();
    // The media layer starts while the decoder reads the map; no window
    // opens before the map has proved sound.
    RequestHeightMap(mapName);
    StartMediaLayer();
    if (ReceiveHeightMap() != 0) {
        return -1;
    }
    if (InitGL() != 0) {
        fprintf(DebugLog, "ERROR: InitGL() failed!\n");
        return -1;
    }

    char title[64];
    snprintf(title, sizeof title, "terrain size: %d x %d", heightMap.size, heightMap.size);
    SDL_WM_SetCaption(title, VornName);
    SDL_EnableKeyRepeat(500, 30);
    return 0;
}

int VornMain(int argc, char **argv) {
    OpenDebugLog("debug.txt");
    WriteBanner(DebugLog);
    const char *mapName = ChooseMapName(argc, argv, DebugLog);
    if (StartViewer(mapName) != 0) {
        SDL_Quit();
        return -1;
    }

    bool running = true;
    SDL_Event event;
    while (running) {
        DrawFrame();
        // Every queued event is handled, even those behind a quit.
        while (SDL_PollEvent(&event)) {
            if (DispatchEvent(&event) == 0) {
                running = false;
            }
        }
    }
    // The font's texture and lists go while the GL context still exists.
    FreeBmfFont(mainFont);
    SDL_Quit();
    return 0;
}
