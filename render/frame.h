// Drawing of one frame, and the frame-rate counter.
#pragma once

#include <cstddef>
#include <cstdint>

struct FrameCounter {
    uint32_t frames;   // frames drawn since the last rate update
    uint32_t lastTick; // SDL_GetTicks() at the last rate update, milliseconds
    float fps;         // latest rate, shown on screen
};

extern FrameCounter frameCounter;

// Draws one whole frame: the sky, the terrain and the overlay with the frame
// rate, the banner and the help panel; then shows it and counts it.
void DrawFrame();

// Counts one frame drawn at tick now: once more than a second has passed
// since the last update, the rate is worked out anew.
void CountFrame(FrameCounter *counter, uint32_t now);

// The two texts of the overlay.
void FormatFrameRate(char *text, size_t size, float fps);
void FormatBanner(char *text, size_t size);
