#include "render/texture.h"

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
