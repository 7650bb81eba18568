// Writes BMP files for the viewer's textures and height maps.
//
// The viewer hands decoded pixels to GL exactly as they lie in memory: the
// first decoded row becomes texture row t = 0 and the bytes of each pixel go
// up in their memory order as R, G, B (and A). WriteTextureBmp takes pixels in
// that GL order and writes a file whose decoded memory is exactly those
// bytes, so the tools never have to think about BMP's bottom-up rows or its
// blue-green-red byte order.
#pragma once

// pixels: h rows of w pixels, bytesPerPixel (3 or 4) bytes each, tightly
// packed, row 0 first; bytes in the order GL will read them (R, G, B[, A]).
// Returns 0, or -1 on bad arguments or a write failure.
int WriteTextureBmp(const char *path, int w, int h, int bytesPerPixel, const unsigned char *pixels);

// A height map as the viewer reads it: side x side height steps (row 0
// first, tightly packed) as an 8-bit palettised BMP with a grey-ramp
// palette. Returns 0, or -1 with the reason left in SDL_GetError().
int WriteHeightMapBmp(const char *path, int side, const unsigned char *heights);
