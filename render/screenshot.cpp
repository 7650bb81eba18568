#include "render/screenshot.h"

#include "render/video.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <cstdlib>
#include <cstring>

void CopyRowsFlipped(unsigned char *dst, size_t dstPitch, const unsigned char *src, size_t rowBytes,
                     int h) {
    for (int i = 0; i < h; ++i) {
        memcpy(dst + static_cast<size_t>(i) * dstPitch,
               src + static_cast<size_t>(h - 1 - i) * rowBytes, rowBytes);
    }
}

int SaveScreenshot(const char *fileName) {
    const int w = videoState.screen->w;
    const int h = videoState.screen->h;
    // In memory each pixel is red, green, blue: the order GL reads them in.
    SDL_Surface *surface =
        SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0x0000FF, 0x00FF00, 0xFF0000, 0);
    if (!surface) {
        return -1;
    }
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    unsigned char *buffer = static_cast<unsigned char *>(malloc(rowBytes * h));
    if (!buffer) {
        SDL_FreeSurface(surface);
        return -1;
    }
    // Rows of any width arrive tightly packed.
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);

    // GL gives the bottom row first; the file's first row is the window's top.
    CopyRowsFlipped(static_cast<unsigned char *>(surface->pixels), surface->pitch, buffer, rowBytes,
                    h);
    free(buffer);
    SDL_SaveBMP_RW(surface, SDL_RWFromFile(fileName, "wb"), 1);
    SDL_FreeSurface(surface);
    return 0;
}
