#include "render/texture.h"

#include "decoder/image_decoder.h"
#include "app/log.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <cstdio>

static const char *const TextureDirectory = "textures";

GLenum TextureFormatFor(int bytesPerPixel) {
    switch (bytesPerPixel) {
    case 3:
        return GL_RGB;
    case 4:
        return GL_RGBA;
    default:
        return 0;
    }
}

void SetClampedLinearParameters() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

SDL_Surface *LoadTextureImage(const char *fileName, GLenum *format, char *path, size_t pathSize) {
    snprintf(path, pathSize, "%s/%s", TextureDirectory, fileName);
    SDL_Surface *image = LoadImageIsolated(path);
    if (!image) {
        fprintf(DebugLog, "ERROR: loading texture file %s failed with error: %s\n", path,
                SDL_GetError());
        return nullptr;
    }
    *format = TextureFormatFor(image->format->BytesPerPixel);
    if (*format == 0) {
        fprintf(DebugLog, "ERROR: file: %s is in unsupported pixel format!\n", path);
        SDL_FreeSurface(image);
        return nullptr;
    }
    return image;
}
