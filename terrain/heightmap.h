// The height map: a square image whose pixels are ground heights. An 8-bit
// map has 256 levels of HeightStep world units; a single-channel 16-bit PNG
// has 65536 levels of HeightStep / 257 units over the same range, so that a
// 16-bit map whose levels are an 8-bit map's times 257 is that map, vertex
// for vertex. Everything that reads heights reads them in world units
// through GroundHeight, whatever the depth.
#pragma once

#include "app/world.h"

#include <cstddef>
#include <cstdint>

struct SDL_Surface;

struct HeightMap {
    SDL_Surface *image;          // an 8-bit map's decoded image, kept for the whole run
    const uint16_t *wide;        // a 16-bit map's samples, row by row, kept for the whole run
    size_t wideCount;            // samples in wide, for their release
    const unsigned char *pixels; // first pixel row of image
    int pitch;                   // bytes from one pixel row of image to the next
    int size;                    // side N in pixels = grid points per side
    int maxLevel;                // highest level: 255 or 65535
    float cellSize;              // WorldExtent / N
    float heightScale;           // world units a level: HeightStep, or HeightStep / 257
};

extern HeightMap heightMap;

// World height above level 0 of every level of the loaded map: the level
// times HeightStep in float for an 8-bit map; for a 16-bit one the level
// times HeightStep / 257 in double, rounded to float once, so that level
// 257 h is exactly h times HeightStep.
extern float levelHeights[MaxLevel16 + 1];

// Loads "maps/<name>". Returns 0, or -1 with the reason in the log.
int LoadHeightMap(const char *name);

// LoadHeightMap in two halves, so that other start-up work runs while the
// decoder reads the map: RequestHeightMap asks for "maps/<name>" and
// returns at once; ReceiveHeightMap waits for it and returns what
// LoadHeightMap would, with the same lines in the log.
void RequestHeightMap(const char *name);
int ReceiveHeightMap();

// Checks a decoded image and takes it as the height map. path names it in log
// lines. Returns 0, or -1 with the reason in the log. The image is kept in the
// record even when it is refused.
int UseHeightMapImage(SDL_Surface *image, const char *path);

// Takes width x height 16-bit samples (row by row, mapped as a decode maps
// them or with mmap, released with FreeMapSamples) as the height map, after
// the checks an image gets. The samples are kept in the record even when
// they are refused. Returns 0, or -1 with the reason in the log.
int UseHeightMapSamples(const uint16_t *samples, int width, int height, const char *path);

// Releases the image or the samples; the record is empty afterwards.
void FreeHeightMap();

// Level at a grid point; 0 outside the map.
static inline uint16_t GetLevel(uint16_t column, uint16_t row) {
    if (column >= heightMap.size || row >= heightMap.size) {
        return 0;
    }
    const size_t at = static_cast<size_t>(row) * static_cast<size_t>(heightMap.size) + column;
    if (heightMap.wide) {
        return heightMap.wide[at];
    }
    return heightMap.pixels[static_cast<size_t>(row) * heightMap.pitch + column];
}

// World height above level 0 at a grid point; 0 outside the map.
static inline float GroundHeight(uint16_t column, uint16_t row) {
    return levelHeights[GetLevel(column, row)];
}

// The green of a level's vertex colour: from 0 at level 0 to 1 at the top,
// an 8-bit level h and the 16-bit level 257 h alike.
static inline float LevelGreen(uint16_t level) {
    const float eightBit =
        heightMap.wide ? static_cast<float>(level / static_cast<double>(LevelsPerStep16)) : level;
    return eightBit * (1.0f / MaxHeightStep);
}
