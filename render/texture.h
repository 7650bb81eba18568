// Pixel formats of decoded images as the viewer hands them to GL.
#pragma once

#include <GL/gl.h>

// GL_RGB for 3 bytes per pixel, GL_RGBA for 4, 0 for anything else.
GLenum TextureFormatFor(int bytesPerPixel);
