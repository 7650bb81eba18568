#include "datagen/bmpfile.h"

#include <SDL/SDL.h>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <vector>

static void Put16(std::vector<unsigned char> &out, uint16_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

static void Put32(std::vector<unsigned char> &out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
    }
}

int WriteTextureBmp(const char *path, int w, int h, int bytesPerPixel,
                    const unsigned char *pixels) {
    if (!path || !pixels || w < 1 || h < 1 || w > 16384 || h > 16384 ||
        (bytesPerPixel != 3 && bytesPerPixel != 4)) {
        return -1;
    }
    const uint32_t rowBytes = static_cast<uint32_t>(w) * bytesPerPixel;
    const uint32_t stride = (rowBytes + 3u) & ~3u;
    const uint32_t dataSize = stride * static_cast<uint32_t>(h);
    const uint32_t headerSize = 14 + 40;

    std::vector<unsigned char> file;
    file.reserve(headerSize + dataSize);
    file.push_back('B');
    file.push_back('M');
    Put32(file, headerSize + dataSize);
    Put32(file, 0);
    Put32(file, headerSize);
    Put32(file, 40); // BITMAPINFOHEADER
    Put32(file, static_cast<uint32_t>(w));
    Put32(file, static_cast<uint32_t>(h)); // positive: rows stored bottom-up
    Put16(file, 1);
    Put16(file, static_cast<uint16_t>(bytesPerPixel * 8));
    Put32(file, 0); // no compression
    Put32(file, dataSize);
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, 0);
    Put32(file, 0);

    // The decoder turns the bottom-up file upside down, so the last stored
    // row becomes the first decoded one; pixel bytes stay in file order.
    for (int fileRow = 0; fileRow < h; ++fileRow) {
        const unsigned char *src = pixels + static_cast<size_t>(h - 1 - fileRow) * rowBytes;
        file.insert(file.end(), src, src + rowBytes);
        file.insert(file.end(), stride - rowBytes, 0);
    }

    FILE *f = fopen(path, "wb");
    if (!f) {
        return -1;
    }
    size_t written = fwrite(file.data(), 1, file.size(), f);
    int closed = fclose(f);
    return written == file.size() && closed == 0 ? 0 : -1;
}

int WriteHeightMapBmp(const char *path, int side, const unsigned char *heights) {
    SDL_Surface *surface = SDL_CreateRGBSurface(SDL_SWSURFACE, side, side, 8, 0, 0, 0, 0);
    if (surface == nullptr)
        return -1;
    SDL_Color palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i].r = static_cast<Uint8>(i);
        palette[i].g = static_cast<Uint8>(i);
        palette[i].b = static_cast<Uint8>(i);
        palette[i].unused = 0;
    }
    SDL_SetColors(surface, palette, 0, 256);
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
        SDL_FreeSurface(surface);
        return -1;
    }
    // Surface rows are padded to the pitch; copy row by row.
    Uint8 *pixels = static_cast<Uint8 *>(surface->pixels);
    for (int row = 0; row < side; ++row) {
        memcpy(pixels + static_cast<size_t>(row) * surface->pitch,
               heights + static_cast<size_t>(row) * side, static_cast<size_t>(side));
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    int rc = SDL_SaveBMP(surface, path);
    SDL_FreeSurface(surface);
    return rc == 0 ? 0 : -1;
}
