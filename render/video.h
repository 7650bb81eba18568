// Window, video mode and the fixed GL state: light, fog, culling, depth.
#pragma once

#include "render/video_state.h"

// The window size of the first mode.
constexpr int StartWidth = 800;
constexpr int StartHeight = 600;

// Starts the media layer without opening a window, so that it runs while
// the decoder reads the map. A failure is kept for InitGL to report;
// nothing is logged here.
void StartMediaLayer();

// Starts the media layer (unless StartMediaLayer did), opens the
// full-screen window and sets the fixed GL state, then builds what the
// frames draw. Returns 0, or -1 with the reason in the log.
int InitGL();

// Sets the video mode at width x height (a zero size becomes 1) and rebuilds
// the viewport and the projection. A refused mode keeps the previous surface.
void ResizeWindow(int width, int height);

// Window size that a requested size gives: zeros become 1.
void ClampWindowSize(int *width, int *height);
