#include "terrain/heightmap.h"

#include "decoder/image_decoder.h"
#include "app/log.h"
#include "app/world.h"

#include <SDL/SDL.h>
#include <cstdlib>

HeightMap heightMap;
float levelHeights[MaxLevel16 + 1];

static const char *const MapDirectory = "maps";

// Fills levelHeights for a map of 8 or 16 bits a sample.
static void TabulateLevels(bool wide) {
    if (wide) {
        for (int v = 0; v <= MaxLevel16; ++v) {
            levelHeights[v] = static_cast<float>(static_cast<double>(v) *
                                                 static_cast<double>(HeightStep) / LevelsPerStep16);
        }
        return;
    }
    for (int h = 0; h <= MaxHeightStep; ++h) {
        levelHeights[h] = h * HeightStep;
    }
}

// The map asked of the decoder and not yet received.
static struct {
    char path[1024];
    int length; // that of the whole name, which may not have fitted
} requestedMap;

void RequestHeightMap(const char *name) {
    requestedMap.length =
        snprintf(requestedMap.path, sizeof requestedMap.path, "%s/%s", MapDirectory, name);
    if (requestedMap.length >= 0 &&
        static_cast<size_t>(requestedMap.length) < sizeof requestedMap.path) {
        RequestMapIsolated(requestedMap.path);
    }
}

int ReceiveHeightMap() {
    const char *path = requestedMap.path;
    const int length = requestedMap.length;
    if (length < 0 || static_cast<size_t>(length) >= sizeof requestedMap.path) {
        fprintf(DebugLog, "ERROR: map file name is too long (%d characters, at most %d)\n", length,
                static_cast<int>(sizeof requestedMap.path) - 1 - 5);
        return -1;
    }
    DecodedMap map;
    if (ReceiveMapIsolated(&map) != 0) {
        fprintf(DebugLog, "ERROR: loading map file %s failed with error: %s\n", path,
                SDL_GetError());
        return -1;
    }
    if (map.samples) {
        return UseHeightMapSamples(map.samples, map.width, map.height, path);
    }
    return UseHeightMapImage(map.image, path);
}

int LoadHeightMap(const char *name) {
    RequestHeightMap(name);
    return ReceiveHeightMap();
}

// The checks every map gets once its depth is known, and the fields they
// settle. Returns 0, or -1 with the reason in the log.
static int UseSquareMap(int width, int height, const char *path) {
    if (width != height) {
        fprintf(DebugLog, "error reding file: %s - your terrain must be square sized!\n", path);
        return -1;
    }
    if (width < 1 || width > MaxMapSize) {
        fprintf(DebugLog, "ERROR: height map %s is %d x %d; the side must be 1 to %d\n", path,
                width, height, MaxMapSize);
        return -1;
    }
    heightMap.size = width;
    heightMap.cellSize = static_cast<float>(static_cast<double>(WorldExtent) / heightMap.size);
    return 0;
}

int UseHeightMapImage(SDL_Surface *image, const char *path) {
    FreeHeightMap();
    heightMap.image = image;
    if (image->format->BitsPerPixel != 8) {
        fprintf(DebugLog, "ERROR: height map must be one 8bit channel file!\n");
        return -1;
    }
    if (UseSquareMap(image->w, image->h, path) != 0) {
        return -1;
    }
    heightMap.maxLevel = MaxHeightStep;
    heightMap.heightScale = HeightStep;
    heightMap.pitch = image->pitch;
    heightMap.pixels = static_cast<const unsigned char *>(image->pixels);
    TabulateLevels(false);
    return 0;
}

int UseHeightMapSamples(const uint16_t *samples, int width, int height, const char *path) {
    FreeHeightMap();
    heightMap.wide = samples;
    heightMap.wideCount = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (UseSquareMap(width, height, path) != 0) {
        return -1;
    }
    heightMap.maxLevel = MaxLevel16;
    heightMap.heightScale = static_cast<float>(static_cast<double>(HeightStep) / LevelsPerStep16);
    TabulateLevels(true);
    return 0;
}

void FreeHeightMap() {
    if (heightMap.image) {
        SDL_FreeSurface(heightMap.image);
    }
    FreeMapSamples(heightMap.wide, heightMap.wideCount);
    heightMap = HeightMap{};
}
