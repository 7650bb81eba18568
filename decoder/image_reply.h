// What an image decoder process sends back, and the checks the viewer makes
// on it before it trusts a single size: pure computations, no processes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t ImageReplyMagic = 0x474d4956u; // "VIMG"
constexpr uint32_t ImageReplyDecoded = 0;
constexpr uint32_t ImageReplyFailed = 1;
// 16-bit single-channel samples: width * height of them, two bytes each in
// the machine's order, rows of pitch = 2 * width bytes, no palette, masks
// or flags. They are in the memory the viewer shares with the decoder, not
// in the reply.
constexpr uint32_t ImageReplySamples16 = 2;

// Longest reason a decoder may give for a failed decode.
constexpr uint32_t MaxImageErrorText = 1024;
// Most pixel bytes a decoded image may hold (the decoder's memory limit).
constexpr uint64_t MaxImagePixelBytes = 1ull << 30;

// Flag bits of the surface that travel with it (SDL_SRCCOLORKEY,
// SDL_SRCALPHA, SDL_RLEACCELOK).
constexpr uint32_t ImageReplySurfaceFlags = 0x00001000u | 0x00010000u | 0x00002000u;

// The fixed-size start of every reply. A decoded image follows it with
// colourCount palette entries of 4 bytes (r, g, b, unused) and then
// pitch * height pixel bytes; a failure with textLength bytes of reason;
// nothing follows 16-bit samples, whose pitch * height bytes are in the
// shared memory.
struct ImageReplyHeader {
    uint32_t magic;
    uint32_t result;
    uint32_t width;
    uint32_t height;
    uint32_t pitch;
    uint32_t bitsPerPixel;
    uint32_t bytesPerPixel;
    uint32_t rmask, gmask, bmask, amask;
    uint32_t flags;
    uint32_t colourKey;
    uint32_t alpha;
    uint32_t colourCount;
    uint32_t textLength;
};

// The sizes of what follows a header that passed the checks.
struct ImageReplyLayout {
    size_t paletteBytes;
    size_t pixelBytes;
    size_t textBytes;
};

// The row length the media layer gives a surface of this width and depth,
// or 0 when it would not fit a surface's 16-bit pitch.
uint32_t SurfacePitchFor(uint32_t width, uint32_t bitsPerPixel);

// Checks every size a header claims against each other and the limits.
// Returns 0 and fills layout, or -1 with *why naming the fault.
int CheckImageReplyHeader(const ImageReplyHeader &header, ImageReplyLayout *layout,
                          const char **why);

// Checks that the bytes that followed the header are exactly what the layout
// says. Returns 0, or -1 with *why naming the fault.
int CheckImageReplyLength(const ImageReplyLayout &layout, size_t bytesAfterHeader,
                          const char **why);

// How a decoder process ended, as the waiting side saw it.
enum class DecoderEnd { Exited, Signalled, TimedOut, NotStarted };

// The wall-clock limit on one decode, and the processor-time limit.
constexpr int DecodeWallSeconds = 20;
constexpr int DecodeCpuSeconds = 10;

// Writes the reason for a decode that did not end with a reply: a crash, a
// limit, a forbidden call. Returns 0 when the process's end is no failure by
// itself (it exited with status 0), else -1 with the reason in text.
int DescribeDecoderEnd(DecoderEnd end, int value, char *text, size_t size);

// The reason to give for a decoder's own failure text: the media layer's
// "Out of memory" becomes a plain statement about the decoder's memory.
const char *DecoderFailureReason(const char *decoderText);
