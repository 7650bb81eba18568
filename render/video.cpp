#include "render/video.h"

#include "app/log.h"
#include "app/world.h"
#include "camera/camera.h"
#include "font/bmf.h"
#include "render/help.h"
#include "render/sky.h"
#include "terrain/terrain_list.h"

#include <GL/gl.h>
#include <GL/glu.h>

static const GLfloat LightAmbient[] = {0.35f, 0.25f, 0.01f, 1.0f};
static const GLfloat LightDiffuse[] = {0.25f, 0.8f, 0.2f, 1.0f};
static const GLfloat LightSpecular[] = {1.0f, 1.0f, 1.0f, 1.0f};
static const GLfloat FogColor[] = {1.0f, 1.0f, 1.0f, 1.0f};
static const GLfloat FogDensity = 0.0004f;

void ClampWindowSize(int *width, int *height) {
    if (*height == 0) {
        *height = 1;
    }
    if (*width == 0) {
        *width = 1;
    }
}

// Sets the mode and, when it is granted, the viewport and projection that go
// with it. Returns 0, or -1 when SDL refuses the mode (nothing is changed).
static int SetMode(int width, int height) {
    SDL_Surface *screen = SDL_SetVideoMode(width, height, videoState.videoInfo->vfmt->BitsPerPixel,
                                           videoState.videoFlags);
    if (!screen) {
        return -1;
    }
    videoState.screen = screen;
    videoState.aspect = static_cast<float>(width) / static_cast<float>(height);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, videoState.aspect, 4.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return 0;
}

void ResizeWindow(int width, int height) {
    ClampWindowSize(&width, &height);
    if (SetMode(width, height) == 0) {
        return;
    }
    fprintf(DebugLog, "ERROR: setting the video mode %d x %d failed with error: %s\n", width,
            height, SDL_GetError());
    // SDL keeps the previous mode on a refusal; follow whatever it holds now.
    if (SDL_Surface *current = SDL_GetVideoSurface()) {
        videoState.screen = current;
    }
}

// The first mode asks for a depth buffer as deep as the desktop's colour
// depth. Many drivers have no such visual, so shallower ones are tried next.
// The terrain, sky and help lists have fixed ids but are compiled at
// different points of the start-up; until then glGenLists would hand their
// ids to the font's glyphs. Empty lists hold them from the start.
static void ReserveFixedLists() {
    for (unsigned int id = 1; id <= FixedListCount; ++id) {
        glNewList(id, GL_COMPILE);
        glEndList();
    }
}

static int OpenFirstWindow() {
    int depth = videoState.videoInfo->vfmt->BitsPerPixel;
    static const int fallbackDepths[] = {24, 16};
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    if (SetMode(StartWidth, StartHeight) == 0) {
        return 0;
    }
    int tried = depth;
    for (int fallback : fallbackDepths) {
        if (fallback == tried) {
            continue;
        }
        fprintf(DebugLog,
                "info: no %d x %d mode with a %d-bit depth buffer (%s), retrying with %d bits\n",
                StartWidth, StartHeight, tried, SDL_GetError(), fallback);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, fallback);
        if (SetMode(StartWidth, StartHeight) == 0) {
            return 0;
        }
        tried = fallback;
    }
    fprintf(DebugLog, "ERROR: setting the video mode %d x %d failed with error: %s\n", StartWidth,
            StartHeight, SDL_GetError());
    return -1;
}

void StartMediaLayer() {
    videoState.mediaFailure[0] = '\0';
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        return;
    }
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        snprintf(videoState.mediaFailure, sizeof videoState.mediaFailure, "%s", SDL_GetError());
    }
}

int InitGL() {
    if (!SDL_WasInit(SDL_INIT_VIDEO) && videoState.mediaFailure[0] == '\0') {
        StartMediaLayer();
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        fprintf(DebugLog, "ERROR: starting the video subsystem failed with error: %s\n",
                videoState.mediaFailure);
        videoState.mediaFailure[0] = '\0';
        return -1;
    }
    videoState.videoInfo = SDL_GetVideoInfo();
    if (!videoState.videoInfo) {
        fprintf(DebugLog, "ERROR: reading the video information failed with error: %s\n",
                SDL_GetError());
        return -1;
    }
    videoState.videoFlags = SDL_HWPALETTE | SDL_RESIZABLE | SDL_OPENGL;
    if (videoState.videoInfo->hw_available) {
        videoState.videoFlags |= SDL_HWSURFACE;
    }
    if (videoState.videoInfo->blit_hw) {
        videoState.videoFlags |= SDL_HWACCEL;
    }
    fprintf(DebugLog, "info: entering fullscreen!\n");
    videoState.videoFlags |= SDL_FULLSCREEN;

    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (OpenFirstWindow() != 0) {
        return -1;
    }
    ReserveFixedLists();

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFrontFace(GL_CW);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    if (LoadSkyTextures() != 0) {
        fprintf(DebugLog, "ERROR: loading sky texture failed!\n");
        return -1;
    }
    BuildSkyBox(0.0f, 0.0f, 0.0f, SkyBoxWidth, SkyBoxHeight, SkyBoxWidth);

    // The light is placed while the model-view matrix is the identity and
    // never again, so it stays fixed above the eye, at the same height for
    // maps of every depth.
    const GLfloat lightPosition[] = {0.0f, 382.5f * HeightStep, 0.0f, 1.0f};
    glEnable(GL_LIGHTING);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glLightfv(GL_LIGHT0, GL_AMBIENT, LightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, LightDiffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, LightSpecular);
    glEnable(GL_LIGHT0);

    glEnable(GL_FOG);
    glFogf(GL_FOG_DENSITY, FogDensity);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogfv(GL_FOG_COLOR, FogColor);
    glHint(GL_FOG_HINT, GL_NICEST);

    // The font reports its own failure.
    if (LoadFont() != 0) {
        return -1;
    }
    BuildHelpOverlay();

    SDL_ShowCursor(SDL_DISABLE);
    SDL_WarpMouse(static_cast<Uint16>(videoState.screen->w / 2),
                  static_cast<Uint16>(videoState.screen->h / 2));

    if (BuildTerrainList() != 0) {
        fprintf(DebugLog, "ERROR: making mesh failed!\n");
        return -1;
    }
    PlaceCameraAtStartHeight();
    return 0;
}
