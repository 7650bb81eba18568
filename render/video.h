// Window, video mode and the fixed GL state: light, fog, culling, depth.
#pragma once

#include <SDL/SDL.h>

struct VideoState {
    Uint32 videoFlags;              // flags passed to every SDL_SetVideoMode
    const SDL_VideoInfo *videoInfo; // desktop video information, owned by SDL
    SDL_Surface *screen;            // latest video surface; w and h are the window size
    float aspect;                   // width / height of the latest mode
};

extern VideoState videoState;

// The window size of the first mode.
constexpr int StartWidth = 800;
constexpr int StartHeight = 600;

// Starts the media layer, opens the full-screen window and sets the fixed GL
// state, then builds what the frames draw. Returns 0, or -1 with the reason
// in the log.
int InitGL();

// Sets the video mode at width x height (a zero size becomes 1) and rebuilds
// the viewport and the projection. A refused mode keeps the previous surface.
void ResizeWindow(int width, int height);

// Logs every pending GL error. Returns 1 when there was one, else 0.
int DrainGlErrors();

// Window size that a requested size gives: zeros become 1.
void ClampWindowSize(int *width, int *height);
