// The height map: an 8-bit square image whose pixels are ground heights.
#pragma once

#include <cstddef>
#include <cstdint>

struct SDL_Surface;

struct HeightMap {
    SDL_Surface *image;          // decoded image, kept for the whole run
    const unsigned char *pixels; // first pixel row of image
    int pitch;                   // bytes from one pixel row to the next
    int size;                    // side N in pixels = grid points per side
    float cellSize;              // WorldExtent / N
    float heightScale;           // HeightStep
};

extern HeightMap heightMap;

// Loads "maps/<name>". Returns 0, or -1 with the reason in the log.
int LoadHeightMap(const char *name);

// Checks a decoded image and takes it as the height map. path names it in log
// lines. Returns 0, or -1 with the reason in the log. The image is kept in the
// record even when it is refused.
int UseHeightMapImage(SDL_Surface *image, const char *path);

// Height step 0..255 at a grid point; 0 outside the map.
static inline unsigned char GetHeight(uint16_t column, uint16_t row) {
    if (column >= heightMap.size || row >= heightMap.size) {
        return 0;
    }
    return heightMap.pixels[static_cast<size_t>(row) * heightMap.pitch + column];
}
