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
// LoadImageIsolated gives. The child writes the samples into memory it
// shares with the viewer, which maps them read-only: a 4096 x 4096 map's
// 32 MB are not copied down the reply channel.
struct DecodedMap {
    SDL_Surface *image;      // null for 16-bit samples
    const uint16_t *samples; // width * height, row by row, mapped; null for an image
    int width, height;
};

// Releases a decoded map's image or samples; out is empty afterwards.
void FreeDecodedMap(DecodedMap *map);

// Releases samples that a decoded map held (count of them), or samples
// that a caller mapped itself with mmap.
void FreeMapSamples(const uint16_t *samples, size_t count);

// Loads a height map in an isolated child, as LoadImageIsolated loads an
// image, but keeps all 16 bits of a single-channel 16-bit PNG. Returns 0,
// or -1 with SDL_GetError() giving the reason and nothing in out.
int LoadMapIsolated(const char *file, DecodedMap *out);

// LoadMapIsolated in two halves, so that the caller works while the child
// decodes: RequestMapIsolated asks for the map and returns at once (a
// request that cannot be made is reported by the second half);
// ReceiveMapIsolated waits for it and returns what LoadMapIsolated would.
// One request waits at a time: any other decode collects it unread.
void RequestMapIsolated(const char *file);
int ReceiveMapIsolated(DecodedMap *out);
