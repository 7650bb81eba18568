// Images are decoded out of the viewer's process: every image file goes to a
// fresh, short-lived, resource-limited child process, forked by a small
// single-threaded decoder service, which hands back plain pixels.
//
// Limits in each child: 10 s of processor time, 1 GiB of address space (in
// sanitized builds 1 GiB of data beyond what the process held at the fork),
// no core files, no file writes, and a system-call filter once the image file
// is open. A decode that has not ended after 20 s of wall-clock time is
// killed. The child's standard output and error go to /dev/null.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>

// Starts the decoder service. It must run while the process has a single
// thread, before the media layer or the GL driver start any. Does nothing
// once the service runs. Returns 0, or -1 when it could not be started
// (a process with other threads is refused).
int StartImageDecoder();

// Stops the decoder service, if it runs.
void StopImageDecoder();

// Loads an image as IMG_Load would, decoding it in an isolated child: the
// same surface (size, pitch, format, palette, colour key and pixels), or null
// with SDL_GetError() giving the reason. Starts the service when the calling
// process has a single thread and none runs yet.
SDL_Surface *LoadImageIsolated(const char *file);

// A decoded height map: a single-channel 16-bit PNG as its 16-bit samples,
// which no surface can hold; any other image as the surface
// LoadImageIsolated gives.
struct DecodedMap {
    SDL_Surface *image; // null for 16-bit samples
    uint16_t *samples;  // width * height, row by row, from malloc; null for an image
    int width, height;
};

// Loads a height map in an isolated child, as LoadImageIsolated loads an
// image, but keeps all 16 bits of a single-channel 16-bit PNG. Returns 0,
// or -1 with SDL_GetError() giving the reason and nothing in out.
int LoadMapIsolated(const char *file, DecodedMap *out);
