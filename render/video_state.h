// The window record: written by the video code, read by the camera, the keys
// and the frame.
#pragma once

#include <SDL/SDL.h>

struct VideoState {
    Uint32 videoFlags;              // flags passed to every SDL_SetVideoMode
    const SDL_VideoInfo *videoInfo; // desktop video information, owned by SDL
    SDL_Surface *screen;            // latest video surface; w and h are the window size
    float aspect;                   // width / height of the latest mode
    char mediaFailure[256];         // why the media layer did not start, until InitGL says it
};

extern VideoState videoState;
