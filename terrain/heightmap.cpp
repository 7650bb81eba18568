#include "terrain/heightmap.h"

#include "decoder/image_decoder.h"
#include "app/log.h"
#include "app/world.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>

HeightMap heightMap;

static const char *const MapDirectory = "maps";

int LoadHeightMap(const char *name) {
    char path[1024];
    int length = snprintf(path, sizeof path, "%s/%s", MapDirectory, name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
        fprintf(DebugLog, "ERROR: map file name is too long (%d characters, at most %d)\n", length,
                static_cast<int>(sizeof path) - 1 - 5);
        return -1;
    }
    SDL_Surface *image = LoadImageIsolated(path);
    heightMap.image = image;
    if (!image) {
        fprintf(DebugLog, "ERROR: loading map file %s failed with error: %s\n", path,
                SDL_GetError());
        return -1;
    }
    return UseHeightMapImage(image, path);
}

int UseHeightMapImage(SDL_Surface *image, const char *path) {
    heightMap.image = image;
    if (image->format->BitsPerPixel != 8) {
        fprintf(DebugLog, "ERROR: height map must be one 8bit channel file!\n");
        return -1;
    }
    if (image->w != image->h) {
        fprintf(DebugLog, "error reding file: %s - your terrain must be square sized!\n", path);
        return -1;
    }
    if (image->w < 1 || image->w > MaxMapSize) {
        fprintf(DebugLog, "ERROR: height map %s is %d x %d; the side must be 1 to %d\n", path,
                image->w, image->h, MaxMapSize);
        return -1;
    }
    heightMap.size = image->w;
    heightMap.cellSize = static_cast<float>(static_cast<double>(WorldExtent) / heightMap.size);
    heightMap.heightScale = HeightStep;
    heightMap.pitch = image->pitch;
    heightMap.pixels = static_cast<const unsigned char *>(image->pixels);
    return 0;
}
