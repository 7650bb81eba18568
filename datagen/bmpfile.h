// The one BMP writer of the project's generators, converter and benchmarks:
// grey height maps and RGB(A) textures.
//
// The viewer hands decoded pixels to GL exactly as they lie in memory: the
// first decoded row becomes texture row t = 0 and the bytes of each pixel go
// up in their memory order as R, G, B (and A). WriteBmp takes pixels in that
// order and writes a file whose decoded memory is exactly those bytes, so its
// callers never have to think about BMP's bottom-up rows or its blue-green-red
// byte order.
#pragma once

// Largest width or height written.
constexpr int MaxBmpSide = 16384;

// pixels: h rows of w pixels, row 0 first, tightly packed, bytesPerPixel
// bytes each:
//   1: a grey level (a height step), written as an 8-bit palettised BMP with
//      the grey-ramp palette (index i is r = g = b = i);
//   3 or 4: R, G, B[, A], written as a 24- or 32-bit BMP.
// Returns 0, or -1 with errno set (EINVAL for bad arguments, else the reason
// the file could not be written in full).
int WriteBmp(const char *path, int w, int h, int bytesPerPixel, const unsigned char *pixels);
