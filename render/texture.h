// Texture images: decoding them from the textures directory, and the pixel
// formats in which the viewer hands them to GL.
#pragma once

#include <GL/gl.h>
#include <cstddef>

struct SDL_Surface;

// GL_RGB for 3 bytes per pixel, GL_RGBA for 4, 0 for anything else.
GLenum TextureFormatFor(int bytesPerPixel);

// Sets linear filtering and edge clamping on the bound 2D texture (or records
// it in the list being compiled).
void SetClampedLinearParameters();

// Decodes "textures/<fileName>" and finds its GL pixel format. Returns the
// image, to be freed by the caller, or null with the reason in the log (a
// file that cannot be read, or pixels neither 3 nor 4 bytes deep). path
// receives the composed path for the caller's own messages.
SDL_Surface *LoadTextureImage(const char *fileName, GLenum *format, char *path, size_t pathSize);
